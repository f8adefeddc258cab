#include "HostLib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace ykt::test {

namespace {

#if defined(__i386__)
#define HOST_CALL __attribute__((regparm(3)))
#else
#define HOST_CALL
#endif

using GetMemFn = void*(HOST_CALL*)(std::int32_t);
using FreeMemFn = std::int32_t(HOST_CALL*)(void*);
using CountFn = int (*)();

template <class Fn>
Fn Proc(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

const char* ModeName(AllocMode mode) { return mode == AllocMode::Shared ? "Shared" : "ProcessHeap"; }

HostLib::HostLib(AllocMode mode) : mode_(mode) {
    if (mode == AllocMode::Shared) {
        borlndmm_ = LoadLibraryA("borlndmm.dll");
        if (!borlndmm_) throw std::runtime_error("borlndmm.dll double not found");
    }
    library_ = LoadLibraryA("Vb_Ykt.dll");
    if (!library_) throw std::runtime_error("Vb_Ykt.dll not found");
    if (!vbYktBindExports(library_, &exports_)) throw std::runtime_error("Vb_Ykt.dll lacks an export");
}

HostLib::~HostLib() {
    if (library_) FreeLibrary(library_);
    if (borlndmm_) FreeLibrary(borlndmm_);
}

char* HostLib::NewString(const std::string& text, std::int32_t refCount) const {
    if (text.empty()) return nullptr;
    char* chars = nullptr;
    if (mode_ == AllocMode::Shared) {
        const std::size_t size = 8 + text.size() + 1;
        auto* header = static_cast<std::int32_t*>(
            Proc<GetMemFn>(borlndmm_, "@Borlndmm@SysGetMem$qqri")(static_cast<std::int32_t>(size)));
        header[1] = static_cast<std::int32_t>(text.size());
        chars = reinterpret_cast<char*>(header + 2);
        std::memcpy(chars, text.c_str(), text.size() + 1);
    } else {
        chars = vb_ykt_new_string_n(text.data(), text.size());
        if (!chars) throw std::bad_alloc();
    }
    reinterpret_cast<std::int32_t*>(chars)[-2] = refCount;
    return chars;
}

void HostLib::Release(char* text) const {
    if (mode_ != AllocMode::Shared) return vb_ykt_release(text);
    if (!text) return;
    auto* header = reinterpret_cast<std::int32_t*>(text) - 2;
    if (header[0] < 0 || --header[0] != 0) return;
    Proc<FreeMemFn>(borlndmm_, "@Borlndmm@SysFreeMem$qqrpv")(header);
}

int HostLib::LiveBlocks() const {
    return borlndmm_ ? Proc<CountFn>(borlndmm_, "bmm_live_blocks")() : -1;
}

int HostLib::BadFrees() const { return borlndmm_ ? Proc<CountFn>(borlndmm_, "bmm_bad_frees")() : 0; }

std::int32_t RefCount(const char* text) { return reinterpret_cast<const std::int32_t*>(text)[-2]; }
std::int32_t Length(const char* text) { return reinterpret_cast<const std::int32_t*>(text)[-1]; }
std::string Text(const char* text) { return text ? std::string(text, static_cast<std::size_t>(Length(text))) : ""; }

void DeleteSettings() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kVendorKeyPath); }

void SetRawSetting(const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void SetSetting(const char* name, const std::string& value) {
    SetRawSetting(name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

void DeleteSetting(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

std::string GetSetting(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char buffer[4096];
    DWORD size = sizeof buffer - 1, type = 0;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "<missing>";
    buffer[size] = '\0';
    return buffer;
}

void WriteDefaultSettings(const std::string& key) {
    DeleteSettings();
    SetSetting(setting::kPort, "0");
    SetSetting(setting::kRate, "9600");
    SetSetting(setting::kSector, "7");
    SetSetting(setting::kKey, key);
    SetSetting(setting::kAuto, "0");
    SetSetting(setting::kStepSec, "1500");
    SetSetting(setting::kDbStatus, "0");
    SetSetting(setting::kCodeOrNo, "0");
}

}  // namespace ykt::test
