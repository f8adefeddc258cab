// The Windows side of ykt setup: the key created where missing, the missing
// values written, and on request an entry for the Users group in the key's
// access list.
#include "Setup.h"

#include <windows.h>
#include <aclapi.h>

#include <string>

#include "Doctor.h"
#include "DoctorChecks.h"
#include "core/settings/SettingsStore.h"

namespace ykt::setup {

namespace {

std::string Status(LONG status) { return "Windows 错误 " + std::to_string(status); }

bool Present(HKEY key, const char* name) {
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// What the dialog's save needs on the key: it opens the existing key with
// KEY_SET_VALUE; reading is what every user has already.
constexpr DWORD kUsersAccess = KEY_READ | KEY_SET_VALUE;

// Adds (or widens) an allowing entry for BUILTIN\Users; the entries already
// there stay.
DWORD LetUsersSave(HKEY key) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0,
                                  &users))
        return GetLastError();
    PACL old = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old, nullptr,
                                   &descriptor);
    PACL updated = nullptr;
    if (status == ERROR_SUCCESS) {
        EXPLICIT_ACCESSW entry{};
        entry.grfAccessPermissions = kUsersAccess;
        entry.grfAccessMode = GRANT_ACCESS;
        entry.grfInheritance = NO_INHERITANCE;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        entry.Trustee.ptstrName = static_cast<LPWSTR>(users);
        status = SetEntriesInAclW(1, &entry, old, &updated);
    }
    if (status == ERROR_SUCCESS)
        status = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, updated, nullptr);
    if (updated) LocalFree(updated);
    if (descriptor) LocalFree(descriptor);
    FreeSid(users);
    return status;
}

}  // namespace

int Run(Print out, Print err, bool usersMaySave) {
    const std::string where = doctor::SettingsLocation();
    HKEY vendor = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVendorKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                                  nullptr, &vendor, nullptr);
    if (status == ERROR_SUCCESS) RegCloseKey(vendor);
    HKEY key = nullptr;
    DWORD disposition = 0;
    const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE | (usersMaySave ? READ_CONTROL | WRITE_DAC : 0);
    if (status == ERROR_SUCCESS)
        status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                 nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS) {
        err("无法建立或打开 " + where + "（" + Status(status) + "）" +
            (status == ERROR_ACCESS_DENIED ? "：请在“以管理员身份运行”的命令提示符中运行 ykt setup。\n" : "。\n"));
        return 1;
    }
    out((disposition == REG_CREATED_NEW_KEY ? "已建立设置：" : "设置已存在：") + where + "\n");

    int failures = 0;
    const auto missing = MissingDefaults([&](const char* name) { return Present(key, name); });
    for (const auto& [name, value] : missing) {
        const LONG written = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>(value.size() + 1));
        if (written == ERROR_SUCCESS) {
            out(std::string("  写入默认值 ") + name + " = \"" + value + "\"（" + doctor::DialogLabel(name) + "）\n");
        } else {
            err(std::string("  无法写入 ") + name + "（" + Status(written) + "）\n");
            ++failures;
        }
    }
    std::string kept;
    for (const char* name : setting::kAll) {
        bool written = false;
        for (const auto& write : missing) written = written || std::string(write.first) == name;
        if (!written && Present(key, name)) kept += (kept.empty() ? "" : "、") + std::string(name);
    }
    if (missing.empty()) out("  没有缺少的值，什么也没有写。\n");
    if (!kept.empty()) out("  已有的值保持不变：" + kept + "\n");

    if (usersMaySave) {
        const DWORD granted = LetUsersSave(key);
        if (granted == ERROR_SUCCESS) {
            out("已允许 Users 组修改这些设置：收银程序自己的设置窗口以普通用户运行时也会保存到这里，"
                "不会再保存到该用户的 VirtualStore 副本中。从现在起，能登录这台电脑的每个用户都能修改读卡设置。\n");
        } else {
            err("无法修改 " + where + " 的权限（" + Status(static_cast<LONG>(granted)) + "）。\n");
            ++failures;
        }
    }
    RegCloseKey(key);
    if (failures == 0)
        out("请以管理员身份运行 ykt settings 检查并填好各项（数据库的几项要在窗口中填写），然后运行 ykt doctor。\n");
    return failures == 0 ? 0 : 1;
}

}  // namespace ykt::setup
