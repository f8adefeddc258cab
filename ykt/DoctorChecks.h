// The judgements of ykt doctor, without Windows: a DLL file as read from
// disk, and every stored setting as the library will read it. Each check
// gives a verdict, what was found and, for a problem, what to do, all in
// Chinese for the technician. The Windows side (Doctor.cpp) gathers the facts
// and prints the findings.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "PeImage.h"

namespace ykt::doctor {

enum class Verdict { Ok, Warning, Error };

// "正常", "警告" or "错误".
const char* VerdictText(Verdict verdict);

struct Finding {
    Verdict verdict = Verdict::Ok;
    std::string subject;               // "irdll.dll", "YKT_PORT", "vbInitCom"
    std::optional<std::string> value;  // a setting as stored (the password masked), UTF-8
    std::string text;                  // what was found
    std::string advice;                // what to do; empty when nothing needs doing
};

// ---- the DLLs beside ykt.exe ---------------------------------------------------

struct DllFile {
    std::string name;  // "irdll.dll"
    std::string path;  // where it was looked for, UTF-8
    bool found = false;
    std::optional<pe::Image> image;  // nothing when found but not readable as a PE file
    std::string readError;           // why not
};

struct DllExpectation {
    std::uint16_t machine = 0;  // the machine of ykt.exe, which loads the DLL
    // Names that must be exported, with the ordinal each must have (0: any).
    // Nothing when they cannot be known (the library itself is unreadable).
    std::optional<std::map<std::string, std::uint32_t>> exports;
    // Whether this file is one the simulator can stand in for.
    bool vendorLibrary = false;
};

// The ProductName of the simulators' version resource.
bool IsSimulator(const pe::Image& image);

Finding CheckDll(const DllFile& file, const DllExpectation& expected);

// What the library imports from a vendor library (name in any case).
std::optional<std::map<std::string, std::uint32_t>> ImportsFrom(const std::optional<pe::Image>& library,
                                                                 const std::string& dll);

// ---- the stored settings ---------------------------------------------------------

struct StoredValue {
    enum class Kind { Missing, String, Other };
    Kind kind = Kind::Missing;
    std::string typeName;  // "REG_SZ", "REG_EXPAND_SZ", "REG_DWORD", ...
    std::string bytes;     // String: the text in the ANSI code page up to the first zero, as the library reads it
    std::string shown;     // String: the same text as UTF-8, untrimmed, for printing
};

struct Surroundings {
    bool simulator = false;  // the irdll.dll in use is the simulator: no COM port needed
    // Whether COM<port + 1> exists on this machine.
    std::function<bool(int port)> comPortExists;
};

// One finding per setting, in the order of the settings dialog's store.
std::vector<Finding> CheckSettings(const std::function<StoredValue(const char* name)>& read,
                                   const Surroundings& surroundings);

// The settings dialog's label of a value, by its registry name
// ("YKT_PORT" -> "通信COM端口"); the radio buttons' pair for YKT_CODEORNO.
const char* DialogLabel(const char* name);

// ---- VirtualStore copies of the settings key -------------------------------------
// A program without a manifest (a Delphi 7 till, say) that may not write
// HKEY_LOCAL_MACHINE has its writes redirected, on Vista and later, to a copy
// in the user's VirtualStore, and from then on reads that copy's values.

// The copy's path below a user's classes root (HKCU\Software\Classes):
// the 32-bit view's key on 64-bit Windows.
std::string VirtualStorePath(bool wow64);

struct VirtualCopy {
    std::string where;          // the copy's key, UTF-8, as reg.exe names it
    std::string owner;          // whose it is, for the technician
    bool currentUser = false;   // the user running ykt
};

// One finding per copy: the values that differ from the real key (the copy's
// values are what that user's till reads), or that it matches; what to do.
Finding CompareVirtualCopy(const VirtualCopy& copy, const std::function<StoredValue(const char* name)>& readCopy,
                           const std::function<StoredValue(const char* name)>& readReal);

// ---- the library, loaded as a host loads it -----------------------------------
// These come after part one found Vb_Ykt.dll, irdll.dll and BCIdll.dll beside
// ykt.exe, each of ykt.exe's machine and exporting what is needed.

// LoadLibrary of Vb_Ykt.dll failed with this Windows error.
Finding LoadFailure(unsigned long error);

// vbInitCom's result. `keyUsable`: part two found the settings key and a
// stored YKT_KEY of 24 characters, so a failure is not the key's length.
Finding InitComResult(int result, bool keyUsable);

// Control characters of a stored text made visible (\t, \r, \n, \xNN).
std::string Visible(const std::string& utf8);
// A value as the doctor echoes it: at most 80 characters, then how long it is,
// so that a damaged 64 KiB value does not bury the verdicts.
std::string Clipped(const std::string& utf8);

}  // namespace ykt::doctor
