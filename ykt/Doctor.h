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

// ykt show: the twelve stored values as the doctor reads them, each under
// the settings dialog's label, the database password masked. 1 when there is
// no settings key.
int Show(Print out, Print err);

// One stored value for printing: as stored, "（未设置）", or its type when it
// is not a string.
std::string StoredSetting(const char* name);

// Where the library's settings are, for messages: the key and, on 64-bit
// Windows, the view.
std::string SettingsLocation();

// A warning naming the simulator DLLs when the irdll.dll or BCIdll.dll that
// ykt uses (the one loaded, else the one Windows would find) is the
// simulator; empty text otherwise.
std::string SimulatorWarning();

// The folder of ykt.exe, with a trailing backslash: the library and the
// vendor DLLs are taken from there only.
std::wstring OwnFolder();

}  // namespace ykt::doctor
