// The state file of the simulated reader on Windows: where it is, reading it
// whole, writing it back atomically, and the imitated serial delay. Shared
// by the irdll.dll and BCIdll.dll simulators, which find the same file.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "SimCard.h"

namespace ykt::sim {

// YKT_SIM_STATE when set, else ykt-sim.txt beside the simulator DLL that
// `module` belongs to.
std::wstring StatePath(HMODULE module);

// Reads and parses the state file; creates it with the sample card when it
// does not exist. A file that cannot be read or parsed gives a message on
// stderr (naming `who`, the path and the problem) and nothing.
std::optional<CardState> LoadState(HMODULE module, const char* who);

// Writes the whole file to a temporary file beside it, flushes it and moves
// it over the old one, so a reader never sees half a file and a reported
// deduction survives a crash. False (with a message) when that failed.
bool SaveState(HMODULE module, const char* who, const CardState& state);

// Sleeps for the delay of one call: YKT_SIM_DELAY_MS when set, else the
// state file's delay_ms.
void Delay(const CardState& state);

// The module a function of this DLL lives in.
HMODULE ThisModule();

// A line on stderr (UTF-8) and in the debugger output.
void Report(const char* who, const std::string& message);

}  // namespace ykt::sim
