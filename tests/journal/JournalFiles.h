// The journal folder as the tests see it: emptied, read back, made unusable.
#pragma once

#include <windows.h>

#include <string>

#include "core/journal/JournalRecord.h"

namespace ykt::test {

std::wstring JournalDir();
// Removes the folder with everything in it (and a file standing in its place).
void ClearJournal();
// The text of every month file, in name order.
std::string JournalText();
journal::Book JournalBook();
// The file of this month.
std::wstring ThisMonthFile();

// Runs a program, its output (UTF-8) into `output`; returns its exit code.
DWORD RunProgram(const std::wstring& commandLine, std::string& output);

}  // namespace ykt::test
