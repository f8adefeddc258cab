#include "VirtualStore.h"

#include <sddl.h>

#include <set>
#include <string>

#include "platform/WideText.h"

namespace ykt::doctor {

namespace {

std::string Utf8(const std::wstring& text) { return FromWide(text, CP_UTF8); }

// Whether this 32-bit process runs on 64-bit Windows: the copy is then the
// one of the 32-bit view.
bool Wow64() {
#ifdef _WIN64
    return false;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::wstring OwnSid() {
    std::wstring sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    BYTE buffer[256];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
            sid = text;
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return sid;
}

// "DOMAIN\name" of a SID in text form; the text itself when it names no account.
std::string AccountOf(const std::wstring& sid) {
    PSID binary = nullptr;
    std::string shown = Utf8(sid);
    if (!ConvertStringSidToSidW(sid.c_str(), &binary)) return shown;
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use))
        shown = Utf8(std::wstring(domain) + L"\\" + name) + "（" + shown + "）";
    LocalFree(binary);
    return shown;
}

struct Place {
    HKEY root;
    std::wstring path;  // below root
    VirtualCopy copy;
};

void Judge(std::vector<Finding>& findings, const Place& place, HKEY real, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    findings.push_back(CompareVirtualCopy(
        place.copy, [&](const char* name) { return ReadValue(key, name); },
        [&](const char* name) { return real ? ReadValue(real, name) : StoredValue(); }));
    RegCloseKey(key);
}

}  // namespace

std::vector<Finding> CheckVirtualStore(HKEY real) {
    const bool wow64 = Wow64();
    // The classes hive is shared by both views: look at it as it is.
    const REGSAM view = wow64 ? KEY_WOW64_64KEY : 0;
    const std::wstring path = ToWide(VirtualStorePath(wow64), CP_ACP);
    std::vector<Finding> findings;

    wchar_t user[256];
    DWORD userSize = 256;
    Place mine{HKEY_CURRENT_USER, L"Software\\Classes\\" + path, {}};
    mine.copy.where = Utf8(L"HKCU\\" + mine.path);
    mine.copy.owner = GetUserNameW(user, &userSize) ? "当前用户 " + Utf8(user) + " " : "当前用户";
    mine.copy.currentUser = true;
    Judge(findings, mine, real, view);

    // Every other loaded hive. A user's classes are HKEY_USERS\<SID>_Classes,
    // which <SID>\Software\Classes also shows: each SID is looked at once.
    const std::wstring own = OwnSid();
    std::set<std::wstring> seen{own};
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = 256;
        if (RegEnumKeyExW(HKEY_USERS, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    const std::wstring suffix = L"_Classes";
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::wstring& hive : names) {
            const bool classes = hive.size() > suffix.size() && hive.compare(hive.size() - suffix.size(), suffix.size(), suffix) == 0;
            if (classes != (pass == 0)) continue;
            const std::wstring sid = classes ? hive.substr(0, hive.size() - suffix.size()) : hive;
            if (!seen.insert(sid).second) continue;
            Place other{HKEY_USERS, hive + (classes ? L"\\" : L"\\Software\\Classes\\") + path, {}};
            other.copy.where = Utf8(L"HKU\\" + other.path);
            other.copy.owner = "用户 " + AccountOf(sid) + " ";
            Judge(findings, other, real, view);
        }
    }
    return findings;
}

}  // namespace ykt::doctor
