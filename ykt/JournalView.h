// The deduction journal as ykt shows it, without Windows: one line in
// Chinese per deduction (or settings save), the totals, and the judgements
// of ykt doctor's journal part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DoctorChecks.h"
#include "core/journal/JournalRecord.h"

namespace ykt::cli {

// One line, without its end.
std::string EntryLine(const journal::Entry& entry);

// Every entry (or only the unconfirmed ones), one a line, then the totals.
std::string JournalListing(const journal::Book& book, bool unconfirmedOnly);

// How many days an unconfirmed deduction stays a warning in ykt doctor.
inline constexpr int kUnconfirmedWarningDays = 30;

// One warning per unconfirmed deduction of the last kUnconfirmedWarningDays
// days before `today` (a journal::DayNumber), saying what to do.
std::vector<doctor::Finding> UnconfirmedFindings(const journal::Book& book, std::int64_t today);

}  // namespace ykt::cli
