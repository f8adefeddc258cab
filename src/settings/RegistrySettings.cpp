#include "settings/RegistrySettings.h"

#include <windows.h>

#include <vector>

#include "core/settings/SettingsRules.h"

namespace ykt {

namespace {

class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::string> QueryStringValue(HKEY key, const char* name) {
    std::vector<char> buffer(256);
    // A value that keeps growing between the calls is given up on, as one
    // that cannot be read.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        const LONG status =
            RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_MORE_DATA) {
            buffer.resize(static_cast<std::size_t>(size) + 2);
            continue;  // the value may grow between the two calls: ask again
        }
        if (status == ERROR_FILE_NOT_FOUND) return std::string();
        if (status != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
        std::size_t length = 0;
        while (length < size && buffer[length] != '\0') ++length;
        return std::string(buffer.data(), length);
    }
    return std::nullopt;
}

std::string ReadLibSetting(const char* name) {
    OpenKey key;
    // Read-only, so the card operations also work for users who may not write
    // the local-machine hive. No KEY_WOW64_64KEY: the 32-bit library must see
    // the same view that existing 32-bit installations wrote.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return std::string();
    const std::optional<std::string> text = QueryStringValue(key.Get(), name);
    if (!text) throw SettingsError(std::string(name) + " cannot be read as text");
    return Trim(*text);
}

}  // namespace ykt
