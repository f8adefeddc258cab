// One month's file of the journal, open for appending. Records are appended
// with one WriteFile each to a handle that has FILE_APPEND_DATA and no
// FILE_WRITE_DATA, so the system puts each at the end of the file as one
// piece, and writers take turns through a byte-range lock: the till and ykt
// may append at the same time and no line tears or interleaves. Each record
// is flushed to the disk before Append returns.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/journal/JournalRecord.h"

namespace ykt::journal {

// The local time now, both as Windows gives it and as a record carries it.
Timestamp LocalNow(SYSTEMTIME& local);

class JournalFile {
public:
    JournalFile() = default;
    ~JournalFile() { Close(); }
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // The file of the month of `now` in the journal folder, made (with the
    // folder and the header line) when missing. False when it cannot be
    // opened for appending.
    bool Open(const SYSTEMTIME& now);
    // One whole line; false when it was not written and flushed whole.
    bool Append(std::string_view line);
    void Close();
    bool isOpen() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// The file of a month (path), opened for appending as the library opens it;
// INVALID_HANDLE_VALUE and GetLastError when it cannot be.
HANDLE OpenForAppend(const std::wstring& path);

}  // namespace ykt::journal
