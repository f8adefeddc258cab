// ykt setup: prepares the settings key on a till, as administrator, without
// touching a value that is there; optionally lets the Users group save, so
// that a till program's own settings dialog writes the real key instead of a
// per-user VirtualStore copy.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ykt::setup {

// The values a fresh store gets: what the settings dialog saves when it is
// closed on its defaults (the database values are not among them). Those
// `present` says are stored already are left out.
std::vector<std::pair<const char*, std::string>> MissingDefaults(const std::function<bool(const char* name)>& present);

// Writes UTF-8 text.
using Print = void (*)(const std::string& utf8);

// Exit status 0 when the key is ready (and, asked for, Users may save), else 1.
int Run(Print out, Print err, bool usersMaySave);

}  // namespace ykt::setup
