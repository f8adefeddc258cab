// What ykt doctor reads from a DLL file without loading it: the machine it
// was built for, its named exports, its imports and its version resource.
// Portable (no Windows headers): it works on the file's bytes, and every
// offset in them is checked, since the file may be anything a technician
// copied into the folder.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace ykt::pe {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

struct Image {
    std::uint16_t machine = 0;
    bool isDll = false;
    // Exports with a name, and the ordinal of each.
    std::map<std::string, std::uint32_t> exports;
    // Imported names by DLL; DLL names in lower case. Imports by ordinal are left out.
    std::map<std::string, std::set<std::string>> imports;
    // The bytes of the version resource (VS_VERSIONINFO); empty when there is none.
    std::string version;
};

// What a file may hold before it is judged too large to be one of ours: a
// crafted file must get its verdict at once and never exhaust memory.
constexpr std::uint32_t kMaxImportDescriptors = 256;
constexpr std::uint32_t kMaxImportThunks = 16384;  // all DLLs together
constexpr std::uint32_t kMaxExportNames = 16384;
constexpr std::uint64_t kMaxNameBytes = 1 << 20;   // imported and exported names together
constexpr std::uint32_t kMaxSections = 96;

// Parses a PE file. On failure returns nothing and says why in `error` (in
// Chinese). The import table is read only with `withImports` (only the
// library's imports are ever looked at). Never throws.
std::optional<Image> Parse(std::string_view file, std::string& error, bool withImports = false);

// "32 位（x86）", "64 位（x64）" or the machine number.
std::string MachineName(std::uint16_t machine);

// The text of a string value (such as "ProductName") of the version resource,
// for plain ASCII texts; nothing when the key is missing or the value is not ASCII.
std::optional<std::string> VersionString(const std::string& version, std::string_view key);

// "1.1.0.145": the file version of the fixed part; nothing when there is none.
std::optional<std::string> FileVersion(const std::string& version);

}  // namespace ykt::pe
