// ykt doctor: checks everything a technician can check on a till, from the
// files beside ykt.exe to one card read, and prints each check with its
// verdict and, for a problem, what to do. And the simulator warning that
// every ykt command prints.
#pragma once

#include <string>

namespace ykt::doctor {

// Writes UTF-8 text to the output.
using Print = void (*)(const std::string& utf8);
// The text (UTF-8) of a host string the library assigned, which it releases.
using TakeString = std::string (*)(char* hostString);

// Exit status 0 when no check found an error (warnings allowed), else 1.
int Run(Print out, TakeString take);

// A warning naming the simulator DLLs when the irdll.dll or BCIdll.dll that
// ykt uses (the one loaded, else the one Windows would find) is the
// simulator; empty text otherwise.
std::string SimulatorWarning();

// The folder of ykt.exe, with a trailing backslash: the library and the
// vendor DLLs are taken from there only.
std::wstring OwnFolder();

}  // namespace ykt::doctor
