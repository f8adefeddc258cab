#include "settings/SettingsWriter.h"

#include "settings/RegistrySettings.h"

namespace ykt {

namespace {

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
    return QueryStringValue(key_, name);
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
