#include "journal/JournalFile.h"

#include "core/journal/JournalRecord.h"
#include "journal/JournalFolder.h"
#include "platform/WideText.h"

namespace ykt::journal {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The first writer of a month holds the new file to itself until its header
// is in; the others wait this long at most.
constexpr DWORD kHeaderWaitMs = 100;

bool WriteWhole(HANDLE file, std::string_view bytes) {
    // Writers take turns on a byte far beyond any journal's end. Local NTFS
    // keeps appends whole without it; a network share or wine's emulation
    // does not, and two tills' lines would overwrite each other.
    OVERLAPPED turn{};
    turn.Offset = 0xFFFFFFFFu;
    turn.OffsetHigh = 0x7FFFFFFFu;
    const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
    DWORD written = 0;
    const bool whole =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
    return whole && FlushFileBuffers(file);
}

// A new file with its header, or false when another process made it first
// (ERROR_FILE_EXISTS) or it cannot be made.
bool MakeWithHeader(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string header(kHeader);
    header += "\r\n";
    const bool written = WriteWhole(file, header);
    CloseHandle(file);
    return written;
}

}  // namespace

Timestamp LocalNow(SYSTEMTIME& local) {
    GetLocalTime(&local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds};
}

HANDLE OpenForAppend(const std::wstring& path) {
    // Reading is there for LockFileEx only; the handle can never rewrite a line.
    return CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool JournalFile::Open(const SYSTEMTIME& now) {
    Close();
    const auto folder = JournalFolder();
    if (!folder) return false;
    const std::wstring path = *folder + L'\\' + ToWide(MonthFileName(now.wYear, now.wMonth), CP_ACP);
    bool madeFolder = false;
    const DWORD started = GetTickCount();
    for (int round = 0; round < 1000; ++round) {
        file_ = OpenForAppend(path);
        if (file_ != INVALID_HANDLE_VALUE) return true;
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND && !madeFolder) {
            madeFolder = true;
            if (!MakeJournalFolder(*folder)) return false;
            continue;
        }
        if (error == ERROR_FILE_NOT_FOUND) {
            if (MakeWithHeader(path) || GetLastError() == ERROR_FILE_EXISTS) continue;
            return false;
        }
        // The month's first writer is still putting the header in.
        if (error == ERROR_SHARING_VIOLATION && GetTickCount() - started < kHeaderWaitMs) {
            Sleep(1);
            continue;
        }
        return false;
    }
    return false;
}

bool JournalFile::Append(std::string_view line) { return isOpen() && WriteWhole(file_, line); }

void JournalFile::Close() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

}  // namespace ykt::journal
