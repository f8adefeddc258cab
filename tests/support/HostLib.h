// Plays the host in the Windows-side tests: loads Vb_Ykt.dll as a host does
// (exports by ordinal), in one of the two allocator modes, builds and releases
// host strings, and prepares the settings in the registry.
#pragma once

#include <windows.h>

#include "Vb_Ykt.h"
#include "core/settings/SettingsStore.h"

#include <cstdint>
#include <string>

namespace ykt::test {

enum class AllocMode { ProcessHeap, Shared };

const char* ModeName(AllocMode mode);

using Exports = VbYktExports;

// Loads borlndmm.dll (shared mode) and then Vb_Ykt.dll, so the library picks
// its allocator at attach; unloads both again.
class HostLib {
public:
    explicit HostLib(AllocMode mode);
    ~HostLib();
    HostLib(const HostLib&) = delete;
    HostLib& operator=(const HostLib&) = delete;

    const Exports& api() const { return exports_; }
    AllocMode mode() const { return mode_; }

    // Host strings in the mode's allocator.
    char* NewString(const std::string& text, std::int32_t refCount = 1) const;
    void Release(char* text) const;
    // Blocks the borlndmm double holds (shared mode); -1 in process-heap mode.
    int LiveBlocks() const;
    int BadFrees() const;

private:
    AllocMode mode_;
    HMODULE borlndmm_ = nullptr;
    HMODULE library_ = nullptr;
    Exports exports_{};
};

std::int32_t RefCount(const char* text);
std::int32_t Length(const char* text);
std::string Text(const char* text);  // empty for null

// The settings key HKLM\SOFTWARE\Velbrook\Lib.
void DeleteSettings();
void SetSetting(const char* name, const std::string& value);
void SetRawSetting(const char* name, DWORD type, const std::string& bytes);
void DeleteSetting(const char* name);
// The value as stored; "<missing>" when absent.
std::string GetSetting(const char* name);
// A complete store with the default values and the given key.
void WriteDefaultSettings(const std::string& key = kDefaultKey);

}  // namespace ykt::test
