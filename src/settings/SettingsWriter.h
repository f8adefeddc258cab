// The settings dialog's access to the store: one read-only pass over the key
// when the dialog is created, and the writer of its save. The card operations
// read value by value through ReadLibSetting instead.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/settings/DialogSettings.h"

namespace ykt {

// Opens HKEY_LOCAL_MACHINE "SOFTWARE\Velbrook\Lib" read-only once and reads
// any number of values from that one handle; the key is closed on destruction.
class SettingsReadPass final : public DialogStore {
public:
    SettingsReadPass();
    ~SettingsReadPass() override;
    SettingsReadPass(const SettingsReadPass&) = delete;
    SettingsReadPass& operator=(const SettingsReadPass&) = delete;

    // False only when the key does not exist; a key that exists but cannot be
    // opened counts as existing, and every value of it reads as missing.
    bool KeyExists() const override { return exists_; }

    // The value's bytes as stored, not trimmed; empty text when the value is
    // missing. nullopt when it is stored under a non-string type or cannot be
    // read: a value the dialog cannot use.
    std::optional<std::string> Text(const char* name) const override;

private:
    HKEY key_ = nullptr;
    bool exists_ = false;
};

// The save: creates "SOFTWARE\Velbrook" and "SOFTWARE\Velbrook\Lib" when
// missing, opens the key for writing and writes string values. Every handle is
// closed by Close or on destruction, whatever failed.
class SettingsWriter {
public:
    SettingsWriter() = default;
    ~SettingsWriter() { Close(); }
    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;

    // False when a key could not be created or the settings key could not be
    // opened for writing (typically: no write access to the local machine).
    bool Open();
    // One REG_SZ value in the system's ANSI code page; false when it failed.
    bool Write(const char* name, const std::string& value);
    void Close();

private:
    HKEY key_ = nullptr;
};

}  // namespace ykt
