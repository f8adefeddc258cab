// The Windows side of ykt doctor: it reads the DLL files, the registry and
// the COM ports, loads the library as a host does and calls it, and prints
// what DoctorChecks makes of it all.
#include "Doctor.h"
#include "JournalCommand.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "DoctorChecks.h"
#include "PeImage.h"
#include "VirtualStore.h"
#include "Vb_Ykt.h"
#include "platform/WideText.h"
#include "core/settings/SettingsRules.h"
#include "core/settings/SettingsStore.h"
#include "settings/RegistrySettings.h"

namespace ykt::doctor {

std::wstring OwnFolder() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
    // No name, or a cut one: no folder, never a guess.
    if (n == 0 || n >= MAX_PATH * 4) return std::wstring();
    std::wstring path(buffer, n);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

namespace {

const wchar_t* const kLibraryName = L"Vb_Ykt.dll";
const wchar_t* const kVendorNames[] = {L"irdll.dll", L"BCIdll.dll"};

#ifdef _WIN64
constexpr std::uint16_t kOwnMachine = pe::kMachineAmd64;
#else
constexpr std::uint16_t kOwnMachine = pe::kMachineI386;
#endif

// The seven exports by name, each with the ordinal hosts bind it by: its
// place in the header's table.
#define YKT_EXPORT(name) \
    { #name, static_cast<std::uint32_t>(offsetof(VbYktExports, name) / sizeof(FARPROC) + 1) }
const std::map<std::string, std::uint32_t> kLibraryExports = {
    YKT_EXPORT(vbShowParaForm), YKT_EXPORT(vbDecCard),  YKT_EXPORT(vbReadCardBeep), YKT_EXPORT(vbReadCardNo),
    YKT_EXPORT(vbCloseCom),     YKT_EXPORT(vbInitCom), YKT_EXPORT(vbYktExist),
};
#undef YKT_EXPORT

std::string Utf8(const std::wstring& text) { return FromWide(text, CP_UTF8); }

std::wstring ModulePath(HMODULE module) {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(module, buffer, MAX_PATH * 4);
    return std::wstring(buffer, n);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The whole file; nothing when it cannot be read. DLLs are small: more
// than 64 MiB is not one of ours.
std::optional<std::string> ReadWholeFile(const std::wstring& path, std::string& error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "无法打开（Windows 错误 " + std::to_string(GetLastError()) + "）";
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    std::optional<std::string> bytes;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > (64 << 20)) {
        error = "文件过大或无法读取大小";
    } else {
        try {
            std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
            DWORD read = 0;
            if (ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr) && read == data.size())
                bytes = std::move(data);
            else
                error = "读取失败（Windows 错误 " + std::to_string(GetLastError()) + "）";
        } catch (const std::exception&) {
            error = "读取失败（内存不足）";
        }
    }
    CloseHandle(file);
    return bytes;
}

// Only the library's imports are ever looked at (what it needs of the vendor
// libraries); every other file is read for its headers, exports and version.
DllFile LookAt(const std::wstring& path, const wchar_t* name) {
    DllFile file;
    file.name = Utf8(name);
    file.path = Utf8(path);
    file.found = FileExists(path);
    if (!file.found) return file;
    const auto bytes = ReadWholeFile(path, file.readError);
    if (bytes) file.image = pe::Parse(*bytes, file.readError, std::wstring_view(name) == kLibraryName);
    return file;
}

// The file a vendor library is (or would be) loaded from: the module in
// this process, else the one beside ykt.exe, else where Windows' search
// finds it.
std::wstring VendorPath(const wchar_t* name) {
    if (HMODULE loaded = GetModuleHandleW(name)) return ModulePath(loaded);
    const std::wstring beside = OwnFolder() + name;
    if (FileExists(beside)) return beside;
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = SearchPathW(nullptr, name, nullptr, MAX_PATH * 4, buffer, nullptr);
    return n > 0 && n < MAX_PATH * 4 ? std::wstring(buffer, n) : std::wstring();
}

// ---- output -------------------------------------------------------------------

class Report {
public:
    explicit Report(Print out) : out_(out) {}

    void Heading(const std::string& text) { out_("\n" + text + "\n"); }
    void Note(const std::string& text) { out_("  " + text + "\n"); }

    void Add(const Finding& finding) {
        if (finding.verdict == Verdict::Error) ++errors_;
        if (finding.verdict == Verdict::Warning) ++warnings_;
        std::string line = std::string("  [") + VerdictText(finding.verdict) + "] " + finding.subject;
        if (finding.value) line += " = \"" + *finding.value + "\"";
        line += "：" + finding.text + "\n";
        if (!finding.advice.empty()) line += "         处理：" + finding.advice + "\n";
        out_(line);
    }
    void Add(Verdict verdict, const std::string& subject, const std::string& text, const std::string& advice = "") {
        Finding finding;
        finding.verdict = verdict;
        finding.subject = subject;
        finding.text = text;
        finding.advice = advice;
        Add(finding);
    }

    int Finish() {
        std::string summary;
        if (errors_ == 0 && warnings_ == 0)
            summary = "结论：没有发现问题。";
        else if (errors_ == 0)
            summary = "结论：没有错误，" + std::to_string(warnings_) + " 个警告。";
        else
            summary = "结论：" + std::to_string(errors_) + " 个错误，" + std::to_string(warnings_) +
                      " 个警告：请按上面“处理”所说改正，再运行 ykt doctor。";
        out_("\n" + summary + "\n");
        return errors_ == 0 ? 0 : 1;
    }

private:
    Print out_;
    int errors_ = 0;
    int warnings_ = 0;
};

// ---- the files ------------------------------------------------------------------

struct Files {
    bool simulator = false;  // the irdll.dll beside ykt.exe is the simulator
    bool usable = true;      // no error: the library can be loaded and tried
};

Files CheckFiles(Report& report, const std::wstring& folder) {
    Files files;
    report.Heading("一、读卡库和读卡器驱动（ykt.exe 所在目录 " + Utf8(folder) + "）");
    const DllFile library = LookAt(folder + kLibraryName, kLibraryName);
    DllExpectation expected;
    expected.machine = kOwnMachine;
    expected.exports = kLibraryExports;
    Finding finding = CheckDll(library, expected);
    files.usable = finding.verdict != Verdict::Error;
    report.Add(finding);
    for (const wchar_t* name : kVendorNames) {
        const DllFile vendor = LookAt(folder + name, name);
        DllExpectation vendorExpected;
        vendorExpected.machine = kOwnMachine;
        vendorExpected.exports = ImportsFrom(library.image, Utf8(name));
        vendorExpected.vendorLibrary = true;
        finding = CheckDll(vendor, vendorExpected);
        // Windows would take another copy from its search path: say which,
        // as it may be an old one, or the simulator.
        const std::wstring elsewhere = vendor.found ? std::wstring() : VendorPath(name);
        if (!elsewhere.empty()) {
            const DllFile other = LookAt(elsewhere, name);
            finding.text += "；Windows 会改用 " + other.path +
                            (other.image && IsSimulator(*other.image) ? "，它是 Vb_Ykt 的模拟器" : "");
        }
        files.usable = files.usable && finding.verdict != Verdict::Error;
        report.Add(finding);
        if (name == kVendorNames[0] && vendor.image && IsSimulator(*vendor.image)) files.simulator = true;
    }
    return files;
}

// ---- the settings ------------------------------------------------------------------

std::string TypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return "REG_NONE";
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
        case REG_LINK: return "REG_LINK";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_QWORD: return "REG_QWORD";
        default: return "类型 " + std::to_string(type);
    }
}

}  // namespace

StoredValue ReadValue(HKEY key, const char* name) {
    StoredValue value;
    const std::wstring wideName = ToWide(name, CP_ACP);
    std::vector<BYTE> buffer(512);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = 0, size = static_cast<DWORD>(buffer.size());
        const LONG status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, buffer.data(), &size);
        if (status == ERROR_MORE_DATA) {
            buffer.resize(static_cast<std::size_t>(size) + 4);
            continue;
        }
        if (status == ERROR_FILE_NOT_FOUND) return value;
        value.typeName = TypeName(type);
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            value.kind = StoredValue::Kind::Other;
            if (status != ERROR_SUCCESS) value.typeName += "（无法读取，Windows 错误 " + std::to_string(status) + "）";
            return value;
        }
        std::wstring text(reinterpret_cast<const wchar_t*>(buffer.data()), size / sizeof(wchar_t));
        text = text.substr(0, text.find(L'\0'));  // the library reads up to the first zero
        value.kind = StoredValue::Kind::String;
        value.shown = Utf8(text);
        value.bytes = FromWide(text, CP_ACP);  // what the library's ANSI read gives
        return value;
    }
    value.kind = StoredValue::Kind::Other;
    value.typeName = "（无法读取：值在不断变化）";
    return value;
}

namespace {

bool ComPortExists(int port) {
    const std::wstring name = L"COM" + std::to_wstring(port + 1);
    wchar_t target[1024];
    return QueryDosDeviceW(name.c_str(), target, 1024) != 0;
}

std::string RegistryView() {
    const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kSettingsKeyPath;
#ifdef _WIN64
    return key + "（64 位的 ykt 读的是注册表的 64 位视图；收银机上 32 位的读卡库在 64 位 Windows 中读的是 "
                 "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velbrook\\Lib）";
#else
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
        return key + "（这是 64 位 Windows：32 位的读卡库读的是 32 位视图，在注册表编辑器中是 "
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velbrook\\Lib）";
    return key + "（32 位 Windows）";
#endif
}

// Whether part two leaves the key's length as a reason for vbInitCom to fail.
struct SettingsOutcome {
    bool keyUsable = false;  // the key exists and YKT_KEY has its 24 characters
};

SettingsOutcome CheckSettingsKey(Report& report, bool simulator) {
    SettingsOutcome outcome;
    report.Heading("二、注册表中的设置");
    HKEY key = nullptr;
    // Read-only and without a view flag: the view the library reads.
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        report.Add(Verdict::Error, "设置位置",
                   RegistryView() + " 不存在：这台电脑还没有保存过读卡设置，读卡和扣款都会失败",
                   "以管理员身份运行 ykt settings，点“修改”，填好设置，然后点“保存并退出”；或者从设置好的收银机导入（见部署说明）。");
        for (const Finding& copy : CheckVirtualStore(nullptr)) report.Add(copy);
        return outcome;
    }
    if (status != ERROR_SUCCESS) {
        report.Add(Verdict::Error, "设置位置",
                   RegistryView() + " 无法打开（Windows 错误 " + std::to_string(status) + "），读卡库读不到设置",
                   "在注册表编辑器中检查这个键的权限：所有用户都要能读取。");
        return outcome;
    }
    report.Add(Verdict::Ok, "设置位置", RegistryView());
    Surroundings surroundings;
    surroundings.simulator = simulator;
    surroundings.comPortExists = ComPortExists;
    for (const Finding& finding : CheckSettings([&](const char* name) { return ReadValue(key, name); }, surroundings)) {
        report.Add(finding);
        if (finding.subject == setting::kKey) {
            const StoredValue stored = ReadValue(key, setting::kKey);
            outcome.keyUsable =
                stored.kind == StoredValue::Kind::String && Trim(stored.bytes).size() == kKeyTextLength;
        }
    }
    for (const Finding& copy : CheckVirtualStore(key)) report.Add(copy);
    RegCloseKey(key);
    return outcome;
}

// ---- the library ------------------------------------------------------------------

void CheckLibrary(Report& report, const std::wstring& folder, TakeString take, const Files& files,
                  const SettingsOutcome& settings) {
    report.Heading("三、读卡库和读卡器");
    const std::wstring path = folder + kLibraryName;
    // Windows would refuse to load the library; Wine might load it anyway and
    // end the process at the first call of a missing function.
    if (!files.usable) {
        report.Note("第一部分有错误，没有加载读卡库试读卡器。");
        return;
    }
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) {
        report.Add(LoadFailure(GetLastError()));
        return;
    }
    VbYktExports api{};
    if (!vbYktBindExports(module, &api)) {
        report.Add(Verdict::Error, "Vb_Ykt.dll", "加载后找不到序号 1 到 7 的导出函数", "换成 Vb_Ykt 安装包中的 Vb_Ykt.dll。");
        FreeLibrary(module);
        return;
    }

    const int exist = api.vbYktExist();
    if (exist != VB_YKT_OK)
        report.Add(Verdict::Error, "vbYktExist", "结果 " + std::to_string(exist) + "，应为 0：这不是所需的读卡库",
                   "换成 Vb_Ykt 安装包中的 Vb_Ykt.dll。");

    report.Add(InitComResult(api.vbInitCom(), settings.keyUsable));

    char* number = nullptr;
    const int read = api.vbReadCardNo(&number);
    const std::string text = take(number);
    if (read == VB_YKT_OK) {
        report.Add(Verdict::Ok, "vbReadCardNo", "结果 0：读到卡号 " + text);
    } else if (read == VB_YKT_CARD_UNUSABLE) {
        report.Add(Verdict::Warning, "vbReadCardNo",
                   "结果 -1：读到卡号 " + text + "，但一卡通系统说这张卡不可用（挂失、冻结或已注销）",
                   "读卡器和设置没有问题；换一张正常的卡再试。");
    } else {
        report.Add(Verdict::Error, "vbReadCardNo",
                   "结果 " + std::to_string(read) + "：没有读到卡",
                   "把一张卡平放在读卡器上再运行 ykt doctor。卡已放好仍读不到时：关掉其他使用串口的程序（串口被占用时也是这样），"
                   "检查读卡器的电源和连线、"
                   "YKT_PORT 是否是读卡器所接的串口、YKT_RATE 是否是读卡器的波特率、YKT_KEY 是否是读卡器的通信密码。");
    }
    FreeLibrary(module);
}

}  // namespace

int Run(Print out, TakeString take) {
    const std::wstring folder = OwnFolder();
    Report report(out);
    out("ykt doctor：检查这台电脑上的读卡库、读卡器驱动、读卡设置和读卡器。\n");
    const Files files = CheckFiles(report, folder);
    const SettingsOutcome settings = CheckSettingsKey(report, files.simulator);
    CheckLibrary(report, folder, take, files, settings);
    // The deduction journal: where, whether this user can append, unconfirmed deductions.
    report.Heading(cli::JournalHeading());
    for (const Finding& finding : cli::JournalFindings()) report.Add(finding);
    return report.Finish();
}

std::string SettingsLocation() { return RegistryView(); }

// ---- ykt show ------------------------------------------------------------------

namespace {

std::string Shown(const StoredValue& value) {
    if (value.kind == StoredValue::Kind::Missing) return "（未设置）";
    if (value.kind == StoredValue::Kind::Other) return "（类型为 " + value.typeName + "，不是字符串，读卡库读不了它）";
    return Visible(value.shown);
}

std::string PortShown(const StoredValue& value) {
    const std::string shown = Shown(value);
    if (value.kind != StoredValue::Kind::String) return shown;
    const auto port = ParseInt32(Trim(value.bytes));
    if (!port || !IsListedPort(*port) || Trim(value.bytes).find_first_not_of("0123456789") != std::string::npos)
        return shown;
    return shown + "（COM" + std::to_string(*port + 1) + "）";
}

std::string FlagShown(const StoredValue& value, const char* on, const char* off) {
    const std::string shown = Shown(value);
    if (value.kind != StoredValue::Kind::String) return shown;
    return shown + (IsFlagOn(Trim(value.bytes)) ? on : off);
}

}  // namespace

std::string StoredSetting(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return "（未设置）";
    const StoredValue value = ReadValue(key, name);
    RegCloseKey(key);
    return std::string(name) == setting::kPort ? PortShown(value) : Shown(value);
}

int Show(Print out, Print err) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        err("注册表中没有保存的设置（" + RegistryView() + " 不存在或无法打开）。\n"
            "请以管理员身份运行 ykt settings，点“修改”，填好设置，然后点“保存并退出”。\n");
        return 1;
    }
    out(RegistryView() + "\n");
    for (const char* name : setting::kAll) {
        const StoredValue value = ReadValue(key, name);
        const std::string n = name;
        std::string shown;
        if (n == setting::kDbPass)
            shown = value.kind == StoredValue::Kind::String ? cli::MaskPassword(value.bytes) : Shown(value);
        else if (n == setting::kKey)
            shown = value.kind == StoredValue::Kind::String ? cli::MaskKey(Shown(value)) : Shown(value);
        else if (n == setting::kPort)
            shown = PortShown(value);
        else if (n == setting::kCodeOrNo)
            shown = FlagShown(value, "（读取卡序号，10 位）", "（读取卡编号，9 位）");
        else if (n == setting::kAuto || n == setting::kDbStatus)
            shown = FlagShown(value, "（是）", "（否）");
        else
            shown = Shown(value);
        out("  " + n + std::string(n.size() < 13 ? 13 - n.size() : 1, ' ') + DialogLabel(name) + "：" + shown + "\n");
    }
    RegCloseKey(key);
    return 0;
}

std::string SimulatorWarning() {
    std::vector<std::string> found;
    for (const wchar_t* name : kVendorNames) {
        const std::wstring path = VendorPath(name);
        if (path.empty()) continue;
        const DllFile file = LookAt(path, name);
        if (file.image && IsSimulator(*file.image)) found.push_back(file.path);
    }
    if (found.empty()) return std::string();
    std::string list;
    for (const auto& path : found) list += (list.empty() ? "" : "、") + path;
    return "警告：" + list +
           " 是 Vb_Ykt 的模拟器，只用于演示和培训：它不连接读卡器和一卡通系统，扣款不会从卡上扣钱。"
           "收银机上必须使用读卡器厂商的 irdll.dll 和 BCIdll.dll。\n";
}

}  // namespace ykt::doctor
