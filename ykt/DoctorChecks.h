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

// Control characters of a stored text made visible (\t, \r, \n, \xNN).
std::string Visible(const std::string& utf8);

}  // namespace ykt::doctor
