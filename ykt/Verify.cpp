// The Windows side of ykt verify: SHA256SUMS and the files it names, read
// from the folder of ykt.exe.
#include "Verify.h"

#include <windows.h>

#include "Doctor.h"
#include "platform/WideText.h"

namespace ykt::verify {

namespace {

// A name of SHA256SUMS as a path below ykt.exe's folder; nothing for a name
// that would leave it.
std::optional<std::wstring> PathOf(const std::string& name) {
    std::wstring relative = ToWide(name, CP_UTF8);
    for (wchar_t& c : relative)
        if (c == L'/') c = L'\\';
    if (relative.empty() || relative[0] == L'\\' || relative.find(L':') != std::wstring::npos ||
        (L"\\" + relative + L"\\").find(L"\\..\\") != std::wstring::npos)
        return std::nullopt;
    return doctor::OwnFolder() + relative;
}

std::optional<std::string> HashOf(const std::string& name) {
    const auto path = PathOf(name);
    if (!path) return std::nullopt;
    HANDLE file = CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    Sha256 sha;
    static char buffer[64 * 1024];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0) sha.Add(buffer, read);
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return sha.HexDigest();
}

}  // namespace

int Run(Print out, Print err) {
    const std::wstring sumsPath = doctor::OwnFolder() + L"SHA256SUMS";
    HANDLE file = CreateFileW(sumsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        err("找不到 " + FromWide(sumsPath, CP_UTF8) + "：ykt verify 要在解压后的安装包文件夹中运行。\n");
        return 1;
    }
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0 && text.size() < (1 << 20))
        text.append(buffer, read);
    CloseHandle(file);
    std::string error;
    const auto sums = ParseSums(text, error);
    if (!sums) {
        err(FromWide(sumsPath, CP_UTF8) + " 无法使用：" + error + "。\n");
        return 1;
    }
    out("ykt verify：按 " + FromWide(sumsPath, CP_UTF8) + " 检查安装包中的文件。\n");
    return Check(*sums, HashOf, out);
}

}  // namespace ykt::verify
