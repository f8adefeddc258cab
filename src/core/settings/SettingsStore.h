// The shape of the settings store as every part of the system sees it: where
// it lives, the names of its twelve values, the fixed lengths and ranges, and
// read access to it one value at a time. Portable: the registry behind it is
// the Windows shell's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ykt {

// Under HKEY_LOCAL_MACHINE. The parent is created first when a save finds it missing.
inline constexpr const char* kVendorKeyPath = "SOFTWARE\\Velbrook";
inline constexpr const char* kSettingsKeyPath = "SOFTWARE\\Velbrook\\Lib";

namespace setting {
inline constexpr const char* kPort = "YKT_PORT";
inline constexpr const char* kRate = "YKT_RATE";
inline constexpr const char* kSector = "YKT_SECTOR";
inline constexpr const char* kKey = "YKT_KEY";
inline constexpr const char* kAuto = "YKT_AUTO";
inline constexpr const char* kStepSec = "YKT_STEPSEC";
// Spelled S-A-T-A-U-S in every existing installation.
inline constexpr const char* kDbStatus = "YKT_DBSATAUS";
inline constexpr const char* kDbIpAddr = "YKT_DBIPADDR";
inline constexpr const char* kDbName = "YKT_DBNAME";
inline constexpr const char* kDbUser = "YKT_DBUSER";
inline constexpr const char* kDbPass = "YKT_DBPASS";
inline constexpr const char* kCodeOrNo = "YKT_CODEORNO";

// All twelve, in the store's order (the order of the dialog's read pass).
inline constexpr const char* kAll[12] = {kPort,     kRate,     kSector, kKey,    kAuto,   kStepSec,
                                         kDbStatus, kDbIpAddr, kDbName, kDbUser, kDbPass, kCodeOrNo};

// Not one of the twelve: the dialog neither shows nor writes it. "0" turns
// the deduction journal off; missing or anything else leaves it on.
inline constexpr const char* kJournal = "YKT_JOURNAL";
}  // namespace setting

// The communication key: 24 hexadecimal digits, 12 bytes for the reader.
inline constexpr std::size_t kKeyTextLength = 24;
// The key a fresh installation starts with (and the dialog's laid-out text).
inline constexpr char kDefaultKey[kKeyTextLength + 1] = "5A3C96E1B74D2F08C5A17E39";

// The port is a 0-based index: COM1 to COM10 are 0 to 9.
inline constexpr std::int32_t kPortCount = 10;
inline constexpr bool IsListedPort(std::int32_t index) { return index >= 0 && index < kPortCount; }

// Read access to the settings store, one value per call.
class SettingsSource {
public:
    virtual ~SettingsSource() = default;
    // The value trimmed; empty when missing. Throws when the value exists but
    // cannot be read as text.
    virtual std::string Text(const char* name) = 0;
    // "0" in front of the text, parsed; 0 on any failure, in the read included.
    std::int32_t Number(const char* name);
};

}  // namespace ykt
