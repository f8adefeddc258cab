#include <windows.h>

#include "JournalFiles.h"

#include <algorithm>
#include <vector>

#include "journal/JournalFolder.h"
#include "platform/WideText.h"

namespace ykt::test {

std::wstring JournalDir() { return journal::JournalFolder().value_or(L"C:\\no-common-appdata"); }

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void RemovePath(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const auto& name : FilesIn(path)) RemovePath(path + L"\\" + name);
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

void ClearJournal() {
    const std::wstring folder = JournalDir();
    RemovePath(folder);
    RemovePath(folder.substr(0, folder.rfind(L'\\')));  // Vb_Ykt, which a case may have made a file
}

std::string JournalText() {
    std::string text;
    for (const auto& name : FilesIn(JournalDir())) {
        if (GetFileAttributesW((JournalDir() + L"\\" + name).c_str()) & FILE_ATTRIBUTE_DIRECTORY) continue;
        HANDLE file = CreateFileW((JournalDir() + L"\\" + name).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        char buffer[65536];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
        CloseHandle(file);
    }
    return text;
}

journal::Book JournalBook() { return journal::ReadBook(JournalText()); }

std::wstring ThisMonthFile() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return JournalDir() + L"\\" + ToWide(journal::MonthFileName(now.wYear, now.wMonth), CP_ACP);
}

DWORD RunProgram(const std::wstring& commandLine, std::string& output) {
    wchar_t temp[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"yjt", 0, path);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(path, GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    DWORD code = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    output.clear();
    HANDLE in = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[65536];
    DWORD read = 0;
    while (in != INVALID_HANDLE_VALUE && ReadFile(in, buffer, sizeof buffer, &read, nullptr) && read > 0)
        output.append(buffer, read);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    DeleteFileW(path);
    return code;
}

}  // namespace ykt::test
