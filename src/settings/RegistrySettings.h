// The settings store in the registry: HKEY_LOCAL_MACHINE "SOFTWARE\Velbrook\Lib",
// string values in the system's ANSI code page.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "core/settings/SettingsStore.h"

namespace ykt {

// A value that exists but is not a string.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bytes of a string value up to its first zero byte, untrimmed; empty
// text when the value is missing; nullopt when it is stored under another
// type or cannot be read.
std::optional<std::string> QueryStringValue(HKEY key, const char* name);

// One trimmed text value: the key opened read-only, read and closed again for
// every value, so a save in another process counts at the next read. A missing
// key or value reads as empty text.
std::string ReadLibSetting(const char* name);

// The card operations' store: ReadLibSetting per value, and through
// SettingsSource::Number the ReadLibNumber rule for the numbers.
class RegistrySettings final : public SettingsSource {
public:
    std::string Text(const char* name) override { return ReadLibSetting(name); }
};

}  // namespace ykt
