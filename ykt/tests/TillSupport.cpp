#include "TillSupport.h"

#include <gtest/gtest.h>

#include "platform/WideText.h"

namespace ykt::till {

std::wstring Wide(const std::string& utf8) { return ToWide(utf8, CP_UTF8); }

std::string Narrow(const std::wstring& wide) { return FromWide(wide, CP_UTF8); }

std::wstring BuildDir() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
    std::wstring path(buffer, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring TillDir() { return BuildDir() + L"simulator\\"; }

TempDir::TempDir() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    path_ = std::wstring(base) + L"ykt-till-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    CreateDirectoryW(path_.c_str(), nullptr);
}

std::vector<std::string> TempDir::Files() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path_ + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Narrow(entry.cFileName));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

TempDir::~TempDir() {
    for (const auto& name : Files()) DeleteFileW((path_ + Wide(name)).c_str());
    RemoveDirectoryW(path_.c_str());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

ScopedEnv::ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    had_ = n > 0 && n < 32768;
    if (had_) old_.assign(buffer, n);
    SetEnvironmentVariableW(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

namespace {

std::wstring Quote(const std::string& arg) {
    const std::wstring wide = Wide(arg);
    if (!wide.empty() && wide.find_first_of(L" \t\"") == std::wstring::npos) return wide;
    std::wstring out = L"\"";
    for (wchar_t c : wide) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

HANDLE Inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, disposition, 0,
                       nullptr);
}

}  // namespace

RunResult RunProgram(const std::wstring& exe, const std::vector<std::string>& args) {
    RunResult result;
    TempDir dir;
    std::wstring commandLine = L"\"" + exe + L"\"";
    for (const auto& arg : args) commandLine += L" " + Quote(arg);
    HANDLE out = Inheritable(dir / L"out", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = Inheritable(dir / L"err", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE in = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (!started) {
        ADD_FAILURE() << "cannot start " << Narrow(exe) << ": " << GetLastError();
        result.exitCode = 0xDEAD;
        return result;
    }
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 0xDEAD);
        ADD_FAILURE() << Narrow(commandLine) << ": did not end within 30 s";
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.out = ReadAll(dir / L"out");
    result.err = ReadAll(dir / L"err");
    return result;
}

CaptureStderr::CaptureStderr() {
    file_ = CreateFileW((dir_ / L"stderr").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                        nullptr);
    old_ = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, file_);
}

CaptureStderr::~CaptureStderr() {
    SetStdHandle(STD_ERROR_HANDLE, old_);
    CloseHandle(file_);
}

std::string CaptureStderr::Text() { return ReadAll(dir_ / L"stderr"); }

}  // namespace ykt::till
