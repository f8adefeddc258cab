// ykt doctor on the till folder: sound settings pass (exit 0), every damaged
// setting fails (exit 1) with a line that names the value, warnings alone
// still pass, and damaged or missing DLLs beside ykt.exe are found.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>

#include "DoctorChecks.h"
#include "PeImage.h"
#include "HostLib.h"
#include "SimCard.h"
#include "TillSupport.h"

namespace ykt::till {
namespace {

using ykt::test::DeleteSetting;
using ykt::test::SetRawSetting;
using ykt::test::SetSetting;
using ykt::test::WriteDefaultSettings;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The card-state check on, with a server, a database and the password "abc".
void CheckOn() {
    SetSetting("YKT_DBSATAUS", "1");
    SetSetting("YKT_DBIPADDR", "10.0.0.5");
    SetSetting("YKT_DBNAME", "ykt");
    SetSetting("YKT_DBUSER", "till");
    SetSetting("YKT_DBPASS", "340334043407");
}

void Dword(const char* name) { SetRawSetting(name, REG_DWORD, std::string("\x01\x00\x00\x00", 4)); }

class YktDoctor : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void Reset() {
        WriteDefaultSettings();
        WriteAll(state_, sim::FormatState(sim::CardState()));
    }
    RunResult Doctor(const std::wstring& folder = TillDir()) { return RunProgram(folder + L"ykt.exe", {"doctor"}); }

    TempDir dir_;
    std::wstring state_ = dir_ / L"card.txt";
    ScopedEnv env_{L"YKT_SIM_STATE", state_.c_str()};
    ScopedEnv noDelay_{L"YKT_SIM_DELAY_MS", L"0"};
};

TEST_F(YktDoctor, SoundSettingsPass) {
    const RunResult run = Doctor();
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    for (const char* line : {"[正常] Vb_Ykt.dll：", "[正常] 设置位置：HKEY_LOCAL_MACHINE\\SOFTWARE\\Velbrook\\Lib",
                             "[正常] YKT_PORT = \"0\"：COM1", "[正常] YKT_RATE = \"9600\"",
                             "[正常] YKT_KEY = \"5A3C****************7E39\"", "[正常] YKT_STEPSEC = \"1500\"",
                             "[正常] vbInitCom：结果 0", "[正常] vbReadCardNo：结果 0：读到卡号 000000012",
                             // The simulator is in place: a warning, and no COM port is needed.
                             "[警告] irdll.dll：", "模拟器", "结论：没有错误"})
        EXPECT_TRUE(Has(run.out, line)) << line << "\n" << run.out;
    EXPECT_FALSE(Has(run.out, "[错误]")) << run.out;
}

struct Case {
    const char* what;
    std::function<void()> damage;
    DWORD exitCode;
    const char* line;  // a line of the output that names the value
};

TEST_F(YktDoctor, EachSettingIsJudged) {
    const Case cases[] = {
        // Damaged: exit 1, an error line naming the value.
        {"port beyond COM10", [] { SetSetting("YKT_PORT", "12"); }, 1, "[错误] YKT_PORT = \"12\"：超出 0 到 9"},
        {"no port chosen", [] { SetSetting("YKT_PORT", "-1"); }, 1, "[错误] YKT_PORT = \"-1\"：没有选择串口"},
        {"port as a name", [] { SetSetting("YKT_PORT", "COM1"); }, 1, "[错误] YKT_PORT = \"COM1\""},
        {"port missing", [] { DeleteSetting("YKT_PORT"); }, 1, "[错误] YKT_PORT：未设置"},
        {"port as a number", [] { Dword("YKT_PORT"); }, 1, "[错误] YKT_PORT：类型为 REG_DWORD"},
        {"rate not offered", [] { SetSetting("YKT_RATE", "9601"); }, 1, "[错误] YKT_RATE = \"9601\"：不是可选的波特率"},
        {"rate empty", [] { SetSetting("YKT_RATE", ""); }, 1, "[错误] YKT_RATE = \"\""},
        {"sector empty", [] { SetSetting("YKT_SECTOR", ""); }, 1, "[错误] YKT_SECTOR = \"\"：为空"},
        {"sector negative", [] { SetSetting("YKT_SECTOR", "-7"); }, 1, "[错误] YKT_SECTOR = \"-7\"：应为十进制数字"},
        {"sector with a letter", [] { SetSetting("YKT_SECTOR", "7a"); }, 1, "[错误] YKT_SECTOR = \"7a\""},
        {"key of 23 digits", [] { SetSetting("YKT_KEY", "5A3C96E1B74D2F08C5A17E3"); }, 1,
         "[错误] YKT_KEY = \"5A3C***************17E3\"：长度为 23 个字符"},
        {"key of 25 digits", [] { SetSetting("YKT_KEY", "5A3C96E1B74D2F08C5A17E390"); }, 1,
         "[错误] YKT_KEY = \"5A3C*****************E390\"：长度为 25 个字符"},
        {"key with a G", [] { SetSetting("YKT_KEY", "5A3C96E1B74D2F08C5A17E3G"); }, 1,
         "[错误] YKT_KEY = \"5A3C****************7E3G\"：含有不是十六进制数字的字符“G”"},
        {"key missing", [] { DeleteSetting("YKT_KEY"); }, 1, "[错误] YKT_KEY：未设置"},
        // The library converts lower-case letters by its own rule, so the
        // reader refuses the key and the read fails.
        {"key in lower case", [] { SetSetting("YKT_KEY", "5a3c96e1b74d2f08c5a17e39"); }, 1,
         "[错误] YKT_KEY = \"5a3c****************7e39\"：含有小写字母"},
        {"key as binary", [] { SetRawSetting("YKT_KEY", REG_BINARY, "5A3C"); }, 1, "[错误] YKT_KEY：类型为 REG_BINARY"},
        {"interval below 1000", [] { SetSetting("YKT_STEPSEC", "999"); }, 1,
         "[错误] YKT_STEPSEC = \"999\"：小于 1000 毫秒"},
        {"interval with a unit", [] { SetSetting("YKT_STEPSEC", "1500ms"); }, 1,
         "[错误] YKT_STEPSEC = \"1500ms\"：应为十进制数字"},
        {"polling switch missing", [] { DeleteSetting("YKT_AUTO"); }, 1, "[错误] YKT_AUTO：未设置"},
        {"card-number kind missing", [] { DeleteSetting("YKT_CODEORNO"); }, 1, "[错误] YKT_CODEORNO：未设置"},
        {"check on, no server", [] { SetSetting("YKT_DBSATAUS", "1"); }, 1,
         "[错误] YKT_DBIPADDR：已启用卡状态检查，但未设置"},
        {"check on, garbled password",
         [] {
             CheckOn();
             SetSetting("YKT_DBPASS", "34O3");
         },
         1, "[错误] YKT_DBPASS = \"******\"：无法解码"},
        {"check on, password missing",
         [] {
             CheckOn();
             DeleteSetting("YKT_DBPASS");
         },
         1, "[错误] YKT_DBPASS：已启用卡状态检查，但未设置"},
        // Read by every card-number read, so another type breaks reads even with the check off.
        {"database name as a number", [] { Dword("YKT_DBNAME"); }, 1, "[错误] YKT_DBNAME：类型为 REG_DWORD"},
        {"no settings at all", [] { ykt::test::DeleteSettings(); }, 1, "[错误] 设置位置："},

        // Warnings alone: exit 0.
        {"check on, all set", [] { CheckOn(); }, 0, "[正常] YKT_DBPASS = \"******\"：可以解码"},
        {"polling switch neither 1 nor 0", [] { SetSetting("YKT_AUTO", "Y"); }, 0,
         "[警告] YKT_AUTO = \"Y\"：不是 1 或 0"},
        {"port between blanks", [] { SetSetting("YKT_PORT", " 0\t"); }, 0, "[警告] YKT_PORT = \" 0\\t\"：COM1"},
        {"check off, garbled password", [] { SetSetting("YKT_DBPASS", "34O3"); }, 0,
         "[警告] YKT_DBPASS = \"******\"：无法解码"},
        {"check on, empty server",
         [] {
             CheckOn();
             SetSetting("YKT_DBIPADDR", "");
         },
         0, "[警告] YKT_DBIPADDR = \"\"：为空"},
        {"rate as an expandable string", [] { SetRawSetting("YKT_RATE", REG_EXPAND_SZ, std::string("9600", 5)); }, 0,
         "[警告] YKT_RATE = \"9600\"：波特率 9600；类型为 REG_EXPAND_SZ"},
    };
    for (const Case& c : cases) {
        Reset();
        c.damage();
        const RunResult run = Doctor();
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.out << run.err;
        EXPECT_TRUE(Has(run.out, c.line)) << c.what << ": no line " << c.line << "\n" << run.out;
        if (c.exitCode == 0) {
            EXPECT_FALSE(Has(run.out, "[错误]")) << c.what << "\n" << run.out;
        }
        // Advice that sends the technician to the dialog says it in the
        // order it is done: "修改", then this value's step, then the save.
        for (std::size_t at = run.out.find("处理："); at != std::string::npos; at = run.out.find("处理：", at + 1)) {
            const std::string advice = run.out.substr(at, run.out.find('\n', at) - at);
            const std::size_t modify = advice.find("点“修改”，"), save = advice.find("然后点“保存并退出”");
            if (advice.find("保存并退出") == std::string::npos) continue;
            EXPECT_TRUE(modify != std::string::npos && save != std::string::npos &&
                        save > modify + std::string("点“修改”，").size())
                << c.what << ": " << advice;
        }
        // The stored password never shows.
        EXPECT_FALSE(Has(run.out, "34O3") || Has(run.out, "340334043407")) << c.what << "\n" << run.out;
    }
}

TEST_F(YktDoctor, ReaderResultsInWords) {
    const std::pair<const char*, const char*> states[] = {
        {"present=1", "present=0"},
        {"card_state=0", "card_state=2"},
    };
    CheckOn();
    for (const auto& [from, to] : states) {
        std::string text = sim::FormatState(sim::CardState());
        text.replace(text.find(from), std::string(from).size(), to);
        WriteAll(state_, text);
        const RunResult run = Doctor();
        if (std::string(to) == "present=0") {
            EXPECT_EQ(run.exitCode, 1u) << run.out;
            EXPECT_TRUE(Has(run.out, "[错误] vbReadCardNo：结果 1：没有读到卡")) << run.out;
        } else {
            EXPECT_EQ(run.exitCode, 0u) << run.out;
            EXPECT_TRUE(Has(run.out, "[警告] vbReadCardNo：结果 -1：读到卡号 000000012")) << run.out;
        }
    }
}

// What part three makes of a failed load and of vbInitCom: by then part one
// found all three DLLs and part two judged the key.
TEST(YktDoctorLibrary, LoadFailuresAndInitComInWords) {
    struct LoadCase {
        unsigned long error;
        const char* says;
    };
    const LoadCase loads[] = {
        {126, "irdll.dll 或 BCIdll.dll 自己还需要的某个 DLL"},
        {193, "irdll.dll 或 BCIdll.dll 需要的某个 DLL 位数与 ykt.exe 不符"},
        {1114, "初始化（DllMain）失败"},
        {127, "缺少它要的函数"},
        {5, "Windows 无法加载它"},
    };
    for (const LoadCase& c : loads) {
        const doctor::Finding f = doctor::LoadFailure(c.error);
        EXPECT_EQ(f.verdict, doctor::Verdict::Error) << c.error;
        EXPECT_TRUE(Has(f.text, "Windows 错误 " + std::to_string(c.error)) && Has(f.text, c.says))
            << c.error << ": " << f.text;
        EXPECT_FALSE(Has(f.text, "找不到")) << c.error << ": the files were found: " << f.text;
        EXPECT_FALSE(f.advice.empty()) << c.error;
    }

    struct InitCase {
        int result;
        bool keyUsable;
        doctor::Verdict verdict;
        const char* says;
        bool sendsToKey;
    };
    const InitCase inits[] = {
        {0, true, doctor::Verdict::Ok, "打开并关闭了读卡器", false},
        {1, false, doctor::Verdict::Error, "通信密码不是 24 位", true},
        // A sound key: the fault is inside irdll.dll, the key is no lead.
        {1, true, doctor::Verdict::Error, "irdll.dll 在打开或关闭读卡器", false},
    };
    for (const InitCase& c : inits) {
        const doctor::Finding f = doctor::InitComResult(c.result, c.keyUsable);
        EXPECT_EQ(f.verdict, c.verdict) << c.result << "/" << c.keyUsable << ": " << f.text;
        EXPECT_TRUE(Has(f.text, c.says)) << c.result << "/" << c.keyUsable << ": " << f.text;
        EXPECT_EQ(Has(f.advice, "YKT_KEY"), c.sendsToKey) << c.result << "/" << c.keyUsable << ": " << f.advice;
    }
}

// A damaged value of 64 KiB must not bury the verdicts: the doctor echoes
// at most 80 characters, never half of one, and says how long it was.
TEST(YktDoctorText, EchoedValuesAreClipped) {
    std::string chinese;
    for (int i = 0; i < 81; ++i) chinese += "收";
    const struct {
        std::string value;
        std::string echoed;
    } cases[] = {
        {std::string(80, 'n'), std::string(80, 'n')},
        {std::string(65536, 'n'), std::string(80, 'n') + "…（共 65536 个字符）"},
        {chinese, chinese.substr(0, 80 * 3) + "…（共 81 个字符）"},
    };
    for (const auto& c : cases) EXPECT_EQ(doctor::Clipped(c.value), c.echoed) << c.value.size() << " bytes";
}

// The files beside ykt.exe, in a folder of copies.
class YktDoctorFiles : public YktDoctor {
public:
    void Copy(const std::wstring& from, const wchar_t* name) {
        ASSERT_TRUE(CopyFileW(from.c_str(), (folder_ / name).c_str(), FALSE)) << Narrow(from);
    }
    void TillCopy() {
        for (const wchar_t* name : {L"ykt.exe", L"Vb_Ykt.dll", L"irdll.dll", L"BCIdll.dll"})
            Copy(TillDir() + name, name);
    }
    TempDir folder_;
};

// A reader library that lies only in the current folder is not taken: every
// command that loads the library says where the DLLs must be.
TEST_F(YktDoctorFiles, VendorDllOnlyInTheCurrentFolderIsRefused) {
    TillCopy();
    TempDir current;
    ASSERT_TRUE(MoveFileW((folder_ / L"irdll.dll").c_str(), (current / L"irdll.dll").c_str()));
    wchar_t before[MAX_PATH * 4];
    GetCurrentDirectoryW(MAX_PATH * 4, before);
    ASSERT_TRUE(SetCurrentDirectoryW(current.path().c_str()));
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"probe"}, {"read"}, {"deduct", "12", "0"}}) {
        const RunResult run = RunProgram(folder_ / L"ykt.exe", args);
        EXPECT_EQ(run.exitCode, 1u) << args[0] << "\n" << run.out << run.err;
        EXPECT_TRUE(Has(run.err, "irdll.dll 不在 ykt.exe 所在的目录")) << args[0] << "\n" << run.err;
    }
    SetCurrentDirectoryW(before);
}

TEST_F(YktDoctorFiles, DamagedOrMissingDlls) {
    struct FileCase {
        const char* what;
        std::function<void(YktDoctorFiles&)> damage;
        const char* line;
        const char* detail;
    };
    const FileCase cases[] = {
        {"card-state library missing", [](YktDoctorFiles& t) { DeleteFileW((t.folder_ / L"BCIdll.dll").c_str()); },
         "[错误] BCIdll.dll：未找到", "没有加载读卡库"},
        {"reader library without its functions",
         [](YktDoctorFiles& t) { t.Copy(TillDir() + L"BCIdll.dll", L"irdll.dll"); },
         "[错误] irdll.dll：",
         "缺少读卡库需要的导出函数：Decrease、ReadCardBeep、ReadCardNoBeep、WT_exit、WT_init"},
        {"reader library of the other machine",
         [](YktDoctorFiles& t) {
             std::string bytes = ReadAll(t.folder_ / L"irdll.dll");
             const std::size_t pe = static_cast<unsigned char>(bytes[0x3C]) | static_cast<unsigned char>(bytes[0x3D]) << 8;
             const bool wide = bytes[pe + 4] == '\x64';
             bytes[pe + 4] = wide ? '\x4C' : '\x64';
             bytes[pe + 5] = wide ? '\x01' : '\x86';
             WriteAll(t.folder_ / L"irdll.dll", bytes);
         },
         "[错误] irdll.dll：", "而 ykt.exe 是"},
        {"library that is no DLL", [](YktDoctorFiles& t) { WriteAll(t.folder_ / L"Vb_Ykt.dll", "not a library"); },
         "[错误] Vb_Ykt.dll：", "没有 MZ 头"},
    };
    for (const FileCase& c : cases) {
        TillCopy();
        c.damage(*this);
        const RunResult run = Doctor(folder_.path());
        EXPECT_EQ(run.exitCode, 1u) << c.what << "\n" << run.out;
        EXPECT_TRUE(Has(run.out, c.line)) << c.what << ": no line " << c.line << "\n" << run.out;
        EXPECT_TRUE(Has(run.out, c.detail)) << c.what << ": no " << c.detail << "\n" << run.out;
    }
}

// A DLL of this machine whose one section holds an import table of
// `descriptors` entries, each naming the same `thunks` imports; the file is
// cut to `keep` bytes when that is given.
std::string CraftedDll(std::uint32_t descriptors, std::uint32_t thunks, std::size_t keep = 0) {
    const bool wide = sizeof(void*) == 8;
    const std::uint32_t step = wide ? 8 : 4, optionalSize = wide ? 240 : 224, sectionRva = 0x1000, raw = 0x200;
    const std::uint32_t thunkRva = sectionRva + 20 * (descriptors + 1);
    const std::uint32_t nameRva = thunkRva + step * (thunks + 1);
    std::string section(nameRva - sectionRva, '\0');
    section += std::string("\0\0WT_init\0irdll.dll\0", 20);
    std::string file(raw, '\0');
    auto put = [](std::string& to, std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i) to[at + i] = static_cast<char>(value >> (8 * i));
    };
    for (std::uint32_t i = 0; i < descriptors; ++i) {
        put(section, 20 * i, thunkRva, 4);
        put(section, 20 * i + 12, nameRva + 10, 4);
        put(section, 20 * i + 16, thunkRva, 4);
    }
    for (std::uint32_t j = 0; j < thunks; ++j) put(section, thunkRva - sectionRva + step * j, nameRva, step);
    file[0] = 'M', file[1] = 'Z';
    put(file, 0x3C, 0x40, 4);
    put(file, 0x40, 0x00004550, 4);
    put(file, 0x44, wide ? 0x8664 : 0x014C, 2);
    put(file, 0x46, 1, 2);
    put(file, 0x54, optionalSize, 2);
    put(file, 0x56, 0x2022, 2);
    const std::size_t optional = 0x58;
    put(file, optional, wide ? 0x20B : 0x10B, 2);
    put(file, optional + (wide ? 108 : 92), 16, 4);
    put(file, optional + (wide ? 112 : 96) + 8, sectionRva, 4);
    put(file, optional + (wide ? 112 : 96) + 12, 20 * (descriptors + 1), 4);
    const std::size_t table = optional + optionalSize;
    put(file, table + 8, section.size(), 4);
    put(file, table + 12, sectionRva, 4);
    put(file, table + 16, section.size(), 4);
    put(file, table + 20, raw, 4);
    file += section;
    if (keep) file.resize(keep);
    return file;
}

// Files made to hurt the reader: a verdict in well under 2 s each, as an
// error and never an exception, and every command that looks at the files
// ends with its own exit status.
TEST_F(YktDoctorFiles, CraftedDllsGetAVerdictAtOnce) {
    // Half of the sections' data: the debugging information behind them
    // would otherwise keep every section whole in the first half of the file.
    const std::string reader = ReadAll(TillDir() + L"irdll.dll");
    auto u = [&](std::size_t at, int width) {
        std::uint32_t v = 0;
        for (int i = width - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(reader[at + i]);
        return v;
    };
    const std::size_t pe = u(0x3C, 4), sectionTable = pe + 24 + u(pe + 20, 2);
    std::size_t dataEnd = 0;
    for (std::uint32_t i = 0; i < u(pe + 6, 2); ++i)
        dataEnd = std::max<std::size_t>(dataEnd, u(sectionTable + 40 * i + 20, 4) + u(sectionTable + 40 * i + 16, 4));
    const std::string half = reader.substr(0, dataEnd / 2);
    const struct {
        const char* what;
        const wchar_t* name;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"library with 4096 descriptors of 65535 imports", L"Vb_Ykt.dll", CraftedDll(4096, 65535), "导入表过大"},
        {"library with 300 descriptors of one import", L"Vb_Ykt.dll", CraftedDll(300, 1), "导入表过大"},
        {"reader library with a huge import table", L"irdll.dll", CraftedDll(4096, 65535), "缺少读卡库需要的导出函数"},
        {"library whose section ends past the file", L"Vb_Ykt.dll", CraftedDll(2, 2, 0x220), "节的数据超出文件末尾"},
        {"reader library cut to half of its sections' data", L"irdll.dll", half.substr(0, half.size() / 2), "节的数据超出文件末尾"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto started = GetTickCount64();
        const auto image = pe::Parse(c.bytes, error, std::wstring_view(c.name) == L"Vb_Ykt.dll");
        const auto took = GetTickCount64() - started;
        EXPECT_LT(took, 2000u) << c.what;
        if (std::string(c.says) != "缺少读卡库需要的导出函数") {
            EXPECT_FALSE(image) << c.what;
            EXPECT_TRUE(Has(error, c.says)) << c.what << ": " << error;
        }

        TillCopy();
        WriteAll(folder_ / c.name, c.bytes);
        for (const char* command : {"doctor", "show", "probe"}) {
            const auto before = GetTickCount64();
            const RunResult run = RunProgram(folder_ / L"ykt.exe", {command});
            const auto spent = GetTickCount64() - before;
            EXPECT_LT(spent, 10000u) << c.what << ", ykt " << command;
            EXPECT_LE(run.exitCode, 1u) << c.what << ", ykt " << command << ": a verdict, no exception\n"
                                        << run.out << run.err;
            if (std::string(command) == "doctor") {
                EXPECT_EQ(run.exitCode, 1u) << c.what << "\n" << run.out;
                EXPECT_TRUE(Has(run.out, c.says)) << c.what << ": no " << c.says << "\n" << run.out;
            }
        }
    }
}

// Without the simulator a missing COM port is an error, and no simulator
// warning is printed. The vendor doubles of the api tests stand in for a
// vendor's libraries.
TEST_F(YktDoctorFiles, MissingComPortWithoutTheSimulator) {
    int port = -1;
    for (int p = 9; p >= 0 && port < 0; --p) {
        wchar_t target[512];
        if (!QueryDosDeviceW((L"COM" + std::to_wstring(p + 1)).c_str(), target, 512)) port = p;
    }
    if (port < 0) GTEST_SKIP() << "every port from COM1 to COM10 exists here";
    Copy(TillDir() + L"ykt.exe", L"ykt.exe");
    Copy(TillDir() + L"Vb_Ykt.dll", L"Vb_Ykt.dll");
    Copy(BuildDir() + L"irdll.dll", L"irdll.dll");
    Copy(BuildDir() + L"BCIdll.dll", L"BCIdll.dll");
    SetSetting("YKT_PORT", std::to_string(port));
    const RunResult run = Doctor(folder_.path());
    EXPECT_EQ(run.exitCode, 1u) << run.out;
    EXPECT_TRUE(Has(run.out, "[错误] YKT_PORT = \"" + std::to_string(port) + "\"：COM" + std::to_string(port + 1) +
                                 "：本机没有这个串口"))
        << run.out;
    EXPECT_TRUE(Has(run.out, "[正常] irdll.dll：")) << run.out;
    EXPECT_FALSE(Has(run.out, "模拟器")) << run.out;
}

// Every other command warns when it runs over the simulator.
TEST_F(YktDoctor, EveryCommandWarnsOfTheSimulator) {
    const std::vector<std::string> commands[] = {{"probe"}, {"read"}, {"show"}, {"deduct", "12", "0"}};
    for (const auto& args : commands) {
        const RunResult run = RunProgram(TillDir() + L"ykt.exe", args);
        EXPECT_TRUE(Has(run.out, "警告：") && Has(run.out, "irdll.dll") && Has(run.out, "模拟器"))
            << args[0] << "\n" << run.out;
    }
}

}  // namespace
}  // namespace ykt::till
