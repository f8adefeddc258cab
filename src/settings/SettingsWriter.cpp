#include "SettingsWriter.h"

#include <vector>

#include "RegistrySettings.h"

namespace ykt {

namespace {

// Parent of the settings key; created first when missing.
const char* const kVendorKeyPath = "SOFTWARE\\Velbrook";

// Creates path under HKEY_LOCAL_MACHINE unless it is there already. A key that
// exists but cannot be opened is left to the open for writing to report, so a
// user who may write the settings key but not create keys can still save.
bool EnsureKey(const char* path) {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
        return true;
    }
    if (status != ERROR_FILE_NOT_FOUND) return true;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

// No KEY_WOW64_64KEY anywhere: the 32-bit library must use the view that
// existing 32-bit installations wrote.
SettingsReadPass::SettingsReadPass() {
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key_);
    if (status != ERROR_SUCCESS) key_ = nullptr;
    exists_ = status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND;
}

SettingsReadPass::~SettingsReadPass() {
    if (key_) RegCloseKey(key_);
}

std::optional<std::string> SettingsReadPass::Text(const char* name) const {
    if (!key_) return std::string();
    std::vector<char> buffer(256);
    for (;;) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        const LONG status =
            RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_MORE_DATA) {
            buffer.resize(static_cast<std::size_t>(size) + 2);
            continue;
        }
        if (status == ERROR_FILE_NOT_FOUND) return std::string();
        if (status != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        std::size_t length = 0;
        while (length < size && buffer[length] != '\0') ++length;
        return std::string(buffer.data(), length);
    }
}

bool SettingsWriter::Open() {
    Close();
    if (!EnsureKey(kVendorKeyPath) || !EnsureKey(kSettingsKeyPath)) return false;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key_, nullptr) != ERROR_SUCCESS) {
        key_ = nullptr;
        return false;
    }
    return true;
}

bool SettingsWriter::Write(const char* name, const std::string& value) {
    if (!key_) return false;
    // Written with its terminating zero, as the A functions expect of REG_SZ.
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

void SettingsWriter::Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
}

}  // namespace ykt
