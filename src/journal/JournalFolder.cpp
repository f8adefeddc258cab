#include "journal/JournalFolder.h"

#include <windows.h>

#include "core/journal/JournalRecord.h"
#include "journal/FolderSecurity.h"

namespace ykt::journal {

namespace {

constexpr int kCommonAppData = 0x0023;  // CSIDL_COMMON_APPDATA
using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

// shell32 is loaded for the question only: importing it would make every
// host pay for it at load, deduction or not. The answer is kept for the
// library's time in the process. Threads that race here ask twice and agree.
wchar_t g_commonAppData[MAX_PATH];
volatile LONG g_known = 0;

bool AskShell(wchar_t (&path)[MAX_PATH]) {
    HMODULE shell = LoadLibraryW(L"shell32.dll");
    if (!shell) return false;
    const auto ask = reinterpret_cast<GetFolderPath>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathW")));
    const bool found = ask && SUCCEEDED(ask(nullptr, kCommonAppData, nullptr, 0, path)) && path[0] != L'\0';
    FreeLibrary(shell);
    return found;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::optional<std::wstring> JournalFolder() {
    if (InterlockedCompareExchange(&g_known, 0, 0) == 0) {
        wchar_t path[MAX_PATH] = {};
        if (!AskShell(path)) return std::nullopt;
        lstrcpynW(g_commonAppData, path, MAX_PATH);
        InterlockedExchange(&g_known, 1);
    }
    std::wstring folder = g_commonAppData;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + kFolderBelowCommonAppData;
}

bool MakeJournalFolder(const std::wstring& folder) {
    // The parents get the rules they inherit; only the journal folder needs its own.
    for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1)) {
        const std::wstring parent = folder.substr(0, at);
        if (!IsFolder(parent)) CreateDirectoryW(parent.c_str(), nullptr);
    }
    FolderSecurity security;
    if (!CreateDirectoryW(folder.c_str(), security.attributes())) return IsFolder(folder);
    // Said once more on the folder made: not every file system keeps the
    // rules given at creation (wine's, for one).
    if (security.valid())
        SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                         security.attributes()->lpSecurityDescriptor);
    return true;
}

}  // namespace ykt::journal
