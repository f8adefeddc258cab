// ykt journal and the journal part of ykt doctor: the Windows side, which
// finds the folder, reads the month files and tries whether this user can
// append.
#pragma once

#include <string>
#include <vector>

#include "DoctorChecks.h"

namespace ykt::cli {

using PrintText = void (*)(const std::string& utf8);

// year 0: this month. Exit status 0 when the month could be read (or has
// no file yet), else 1.
int ShowJournal(PrintText out, PrintText err, int year, int month, bool unconfirmedOnly);

// The heading of doctor's journal part and its findings.
std::string JournalHeading();
std::vector<doctor::Finding> JournalFindings();

}  // namespace ykt::cli
