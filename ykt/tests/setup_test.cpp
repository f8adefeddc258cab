// Settings that land in the wrong place: the VirtualStore copies ykt doctor
// finds and judges, and ykt setup on an empty, a partial and a full store,
// with the access list read back after --users-may-save. Wine does not
// virtualize the registry, so the copies are made here, where Windows would
// put them.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>

#include <functional>
#include <map>

#include "DoctorChecks.h"
#include "HostLib.h"
#include "SimCard.h"
#include "TillSupport.h"

namespace ykt::till {
namespace {

using ykt::test::DeleteSetting;
using ykt::test::GetSetting;
using ykt::test::SetRawSetting;
using ykt::test::SetSetting;
using ykt::test::WriteDefaultSettings;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The copy's key below a user's classes root, as the doctor derives it.
std::string CopyPath() {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return doctor::VirtualStorePath(wow64 != FALSE);
}

// A VirtualStore copy under root\below, holding the given values.
struct Copy {
    HKEY root;
    std::string below;  // up to the classes root, with a trailing backslash
    std::string key() const { return below + CopyPath(); }
    void Set(const char* name, const std::string& value) const {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, key().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS)
            << key();
        RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(k);
    }
    void Remove() const { RegDeleteTreeA(root, (below + "VirtualStore").c_str()); }
};

const Copy kMine{HKEY_CURRENT_USER, "Software\\Classes\\"};
const Copy kOtherUser{HKEY_USERS, ".Default\\Software\\Classes\\"};

class VirtualStoreCopies : public ::testing::Test {
protected:
    void SetUp() override {
        WriteDefaultSettings();
        WriteAll(state_, sim::FormatState(sim::CardState()));
        kMine.Remove();
        kOtherUser.Remove();
    }
    void TearDown() override {
        kMine.Remove();
        kOtherUser.Remove();
    }
    TempDir dir_;
    std::wstring state_ = dir_ / L"card.txt";
    ScopedEnv env_{L"YKT_SIM_STATE", state_.c_str()};
    ScopedEnv noDelay_{L"YKT_SIM_DELAY_MS", L"0"};
};

TEST_F(VirtualStoreCopies, DoctorNamesEachValueThatDiffers) {
    struct Case {
        const char* what;
        std::function<void()> make;
        std::vector<std::string> lines;  // each must be in the output
        std::size_t copies;              // findings about copies
    };
    const Case cases[] = {
        {"no copy", [] {}, {}, 0},
        {"the current user's copy differs",
         [] {
             kMine.Set("YKT_PORT", "3");
             kMine.Set("YKT_DBPASS", "00490050");
             kMine.Set("YKT_KEY", kDefaultKey);  // the same: not named
         },
         {"[警告] VirtualStore 副本：HKCU\\Software\\Classes\\" + CopyPath() + "：与 HKEY_LOCAL_MACHINE 中的设置不同：",
          "YKT_PORT（副本 \"3\"，HKEY_LOCAL_MACHINE 中 \"0\"）", "YKT_DBPASS（副本 \"******\"，HKEY_LOCAL_MACHINE 中 未设置）",
          "读的是副本中的值", "reg delete \"HKCU\\Software\\Classes\\" + CopyPath() + "\" /f",
          "ykt setup --users-may-save"},
         1},
        {"a copy that matches",
         [] {
             kMine.Set("YKT_RATE", "9600");
             kMine.Set("YKT_KEY", kDefaultKey);
         },
         {"[警告] VirtualStore 副本：HKCU\\Software\\Classes\\" + CopyPath() + "：与 HKEY_LOCAL_MACHINE 中的设置相同"}, 1},
        {"another user's copy",
         [] { kOtherUser.Set("YKT_SECTOR", "9"); },
         {"[警告] VirtualStore 副本：HKU\\.Default\\Software\\Classes\\" + CopyPath(),
          "YKT_SECTOR（副本 \"9\"，HKEY_LOCAL_MACHINE 中 \"7\"）", "（以管理员身份运行）"},
         1},
    };
    for (const Case& c : cases) {
        kMine.Remove();
        kOtherUser.Remove();
        c.make();
        const RunResult run = RunProgram(TillDir() + L"ykt.exe", {"doctor"});
        // Copies are warnings: the till still reads a full set of settings.
        EXPECT_EQ(run.exitCode, 0u) << c.what << "\n" << run.out;
        for (const std::string& line : c.lines)
            EXPECT_TRUE(Has(run.out, line)) << c.what << ": no " << line << "\n" << run.out;
        EXPECT_EQ(Count(run.out, "VirtualStore 副本："), c.copies) << c.what << "\n" << run.out;
        EXPECT_FALSE(Has(run.out, "00490050")) << c.what << ": the password shows\n" << run.out;
    }
}

// ---- ykt setup -------------------------------------------------------------------

// Every value of the store as "type:bytes", for before-and-after comparisons.
std::map<std::string, std::string> Store() {
    std::map<std::string, std::string> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[4096];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        values[name] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), dataSize);
    }
    RegCloseKey(key);
    return values;
}

std::string Sz(const std::string& text) { return std::to_string(REG_SZ) + ":" + text + std::string(1, '\0'); }

TEST(YktSetup, WritesOnlyWhatIsMissing) {
    // What the settings dialog saves when closed on its defaults.
    const std::map<std::string, std::string> defaults = {
        {"YKT_PORT", Sz("0")},   {"YKT_RATE", Sz("9600")},       {"YKT_AUTO", Sz("0")},
        {"YKT_SECTOR", Sz("7")}, {"YKT_KEY", Sz(kDefaultKey)},   {"YKT_STEPSEC", Sz("1500")},
        {"YKT_DBSATAUS", Sz("0")}, {"YKT_CODEORNO", Sz("0")},
    };
    struct Case {
        const char* what;
        std::function<void()> store;
        std::vector<std::string> printed;
    };
    const Case cases[] = {
        {"empty store", [] { ykt::test::DeleteSettings(); }, {"已建立设置", "写入默认值 YKT_PORT = \"0\"（通信COM端口）"}},
        {"partial store",
         [] {
             WriteDefaultSettings("00112233445566778899AABB");
             SetSetting("YKT_PORT", "3");
             DeleteSetting("YKT_RATE");
             DeleteSetting("YKT_CODEORNO");
             SetRawSetting("YKT_STEPSEC", REG_DWORD, std::string("\x10\x27\x00\x00", 4));  // there: kept
         },
         {"设置已存在", "写入默认值 YKT_RATE = \"9600\"", "写入默认值 YKT_CODEORNO = \"0\"", "已有的值保持不变：YKT_PORT"}},
        {"full store",
         [] {
             WriteDefaultSettings("00112233445566778899AABB");
             SetSetting("YKT_PORT", "4");
             SetSetting("YKT_DBSATAUS", "1");
             SetSetting("YKT_DBIPADDR", "10.0.0.5");
         },
         {"没有缺少的值，什么也没有写"}},
    };
    for (const Case& c : cases) {
        c.store();
        const auto before = Store();
        const RunResult run = RunProgram(TillDir() + L"ykt.exe", {"setup"});
        EXPECT_EQ(run.exitCode, 0u) << c.what << "\n" << run.out << run.err;
        for (const std::string& line : c.printed)
            EXPECT_TRUE(Has(run.out, line)) << c.what << ": no " << line << "\n" << run.out;
        const auto after = Store();
        // Nothing that was there changed; what was missing is the dialog's default.
        for (const auto& [name, value] : before)
            EXPECT_EQ(after.count(name) ? after.at(name) : "<gone>", value) << c.what << ": " << name;
        for (const auto& [name, value] : defaults) {
            if (!before.count(name)) {
                EXPECT_EQ(after.count(name) ? after.at(name) : "<missing>", value) << c.what << ": " << name;
            }
        }
        // The database values are the dialog's to write, never setup's.
        for (const char* name : {"YKT_DBIPADDR", "YKT_DBNAME", "YKT_DBUSER", "YKT_DBPASS"})
            EXPECT_EQ(after.count(name), before.count(name)) << c.what << ": " << name;
    }
}

// Whether the key's access list lets BUILTIN\Users set values.
bool UsersMaySave(std::string& seen) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, READ_CONTROL, &key) != ERROR_SUCCESS) {
        seen = "key not opened";
        return false;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status =
        GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &descriptor);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        seen = "GetSecurityInfo " + std::to_string(status);
        return false;
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users);
    bool found = false;
    seen = dacl ? std::to_string(dacl->AceCount) + " entries:" : "no DACL";
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        seen += " type " + std::to_string(allowed->Header.AceType) + " mask " + std::to_string(allowed->Mask);
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(const_cast<DWORD*>(&allowed->SidStart), users) && (allowed->Mask & KEY_SET_VALUE))
            found = true;
    }
    FreeSid(users);
    LocalFree(descriptor);
    return found;
}

TEST(YktSetup, UsersMaySaveAddsTheirEntry) {
    ykt::test::DeleteSettings();
    std::string seen;
    ASSERT_EQ(RunProgram(TillDir() + L"ykt.exe", {"setup"}).exitCode, 0u);
    const bool before = UsersMaySave(seen);
    EXPECT_FALSE(before) << "without the option: " << seen;
    const RunResult run = RunProgram(TillDir() + L"ykt.exe", {"setup", "--users-may-save"});
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "已允许 Users 组修改这些设置")) << run.out;
    EXPECT_TRUE(UsersMaySave(seen)) << seen;
    // The values are untouched by the second run.
    EXPECT_EQ(GetSetting("YKT_KEY"), kDefaultKey);
    WriteDefaultSettings();
}

}  // namespace
}  // namespace ykt::till
