#include "SimStore.h"

#include <cstdlib>
#include <vector>

#include "platform/WideText.h"

namespace ykt::sim {

namespace {

std::string Utf8(const std::wstring& text) { return FromWide(text, CP_UTF8); }

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    return n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();
}

std::string SystemMessage(DWORD code) { return "Windows error " + std::to_string(code); }

bool WriteAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// Writes `text` to `path` through a temporary file and a replacing move.
bool WriteAtomically(const std::wstring& path, const std::string& text, std::string& error) {
    const std::wstring temp = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create " + Utf8(temp) + ": " + SystemMessage(GetLastError());
        return false;
    }
    const bool written = WriteAll(file, text) && FlushFileBuffers(file);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!written) {
        DeleteFileW(temp.c_str());
        error = "cannot write " + Utf8(temp) + ": " + SystemMessage(writeError);
        return false;
    }
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD moveError = GetLastError();
        DeleteFileW(temp.c_str());
        error = "cannot replace " + Utf8(path) + ": " + SystemMessage(moveError);
        return false;
    }
    return true;
}

}  // namespace

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

void Report(const char* who, const std::string& message) {
    const std::string line = std::string(who) + ": " + message + "\n";
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    OutputDebugStringA(line.c_str());
}

std::wstring StatePath(HMODULE module) {
    std::wstring path = Environment(L"YKT_SIM_STATE");
    if (!path.empty()) return path;
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(module, buffer, MAX_PATH * 4);
    path.assign(buffer, n);
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + L"ykt-sim.txt";
}

std::optional<CardState> LoadState(HMODULE module, const char* who) {
    const std::wstring path = StatePath(module);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD openError = GetLastError();
        if (openError == ERROR_FILE_NOT_FOUND) {
            // First use: a reader with the sample card on it.
            const CardState sample;
            std::string error;
            if (!WriteAtomically(path, FormatState(sample), error)) {
                Report(who, "state file missing and not created: " + error);
                return std::nullopt;
            }
            return sample;
        }
        Report(who, "cannot open state file " + Utf8(path) + ": " + SystemMessage(openError));
        return std::nullopt;
    }
    std::string text;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= 1 << 20;
    if (ok) {
        text.resize(size);
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, text.data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    if (!ok) {
        Report(who, "cannot read state file " + Utf8(path));
        return std::nullopt;
    }
    std::string error;
    auto state = ParseState(text, error);
    if (!state) Report(who, "malformed state file " + Utf8(path) + ": " + error);
    return state;
}

bool SaveState(HMODULE module, const char* who, const CardState& state) {
    std::string error;
    if (WriteAtomically(StatePath(module), FormatState(state), error)) return true;
    Report(who, error);
    return false;
}

void Delay(const CardState& state) {
    const std::wstring override = Environment(L"YKT_SIM_DELAY_MS");
    long delay = state.delayMs;
    if (!override.empty()) delay = std::wcstol(override.c_str(), nullptr, 10);
    if (delay > 0) Sleep(static_cast<DWORD>(delay > 60000 ? 60000 : delay));
}

}  // namespace ykt::sim
