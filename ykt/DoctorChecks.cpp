#include "DoctorChecks.h"

#include <algorithm>
#include <string>
#include <utility>

#include "CommandLine.h"
#include "SimMarker.h"
#include "core/card/CardOperations.h"
#include "core/settings/SettingsStore.h"
#include "core/card/ReaderParams.h"
#include "core/settings/DbPassword.h"
#include "core/settings/DialogSettings.h"
#include "core/settings/SettingsRules.h"

namespace ykt::doctor {

namespace {

// What a person does in the settings dialog, in the order they do it: open
// it as administrator, "修改", the one step for this value, then save.
std::string InDialog(const std::string& step) {
    return "以管理员身份运行 ykt settings，点“修改”，" + step + "，然后点“保存并退出”。";
}

// The step in the dialog that sets a value, by its registry name.
std::string DialogStep(const char* name) {
    const std::string n = name;
    const std::string label = std::string("“") + DialogLabel(name) + "”";
    if (n == setting::kPort) return "在" + label + "中选择读卡器所接的串口";
    if (n == setting::kRate) return "在" + label + "中选择读卡器的波特率（见读卡器的说明书）";
    if (n == setting::kSector) return "在" + label + "中填写一卡通系统所用的扇区号";
    if (n == setting::kKey) return "在" + label + "中输入读卡器的 24 位通信密码（由一卡通系统的供应商提供）";
    if (n == setting::kStepSec) return "在" + label + "中填写毫秒数（不小于 1000）";
    if (n == setting::kAuto || n == setting::kDbStatus) return "按需要勾选或不勾选" + label;
    if (n == setting::kCodeOrNo) return "选择“读取卡序号”或“读取卡编号”（与收银程序和一卡通系统使用的卡号一致）";
    if (n == setting::kDbPass) return "勾选“读取一卡通卡的状态”，在" + label + "中重新输入数据库密码（密码以加扰形式保存）";
    return "勾选“读取一卡通卡的状态”，填写一卡通系统的数据库服务器、数据库名、用户和密码（或者不勾选，不查询卡状态）";
}

// A value of another type: the dialog's load stops at it and shows the
// laid-out defaults, so a save from there overwrites every setting.
const char* const kDeleteValue =
    "在注册表编辑器中删除这个值，再以管理员身份运行 ykt settings：有这样的值时设置窗口显示的是默认值，"
    "所以要点“修改”，把每一项都按这台收银机重新填好，然后点“保存并退出”。";

// The rates the settings dialog offers.
const char* const kRates[] = {"600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600"};

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Quoted(const std::string& text) { return "“" + text + "”"; }

// Accumulates what one setting shows: the worst verdict wins, the notes and
// advice are joined.
class Judgement {
public:
    explicit Judgement(const char* name) : name_(name) {}

    const char* name() const { return name_; }

    void Ok(const std::string& note) { Note(Verdict::Ok, note, ""); }
    // A remark on how the value is stored, shown after what it means.
    void Aside(const std::string& note, const std::string& advice) {
        asides_.push_back(note);
        Note(Verdict::Warning, "", advice);
    }
    void Warn(const std::string& note, const std::string& advice) { Note(Verdict::Warning, note, advice); }
    void Fail(const std::string& note, const std::string& advice) { Note(Verdict::Error, note, advice); }

    Finding Done(std::optional<std::string> shown) const {
        Finding finding;
        finding.verdict = verdict_;
        finding.subject = name_;
        finding.value = std::move(shown);
        for (const auto* list : {&notes_, &asides_})
            for (const auto& note : *list) finding.text += (finding.text.empty() ? "" : "；") + note;
        for (const auto& advice : advice_)
            if (finding.advice.find(advice) == std::string::npos)
                finding.advice += (finding.advice.empty() ? "" : " ") + advice;
        return finding;
    }

private:
    void Note(Verdict verdict, const std::string& note, const std::string& advice) {
        if (verdict > verdict_) verdict_ = verdict;
        if (!note.empty()) notes_.push_back(note);
        if (!advice.empty()) advice_.push_back(advice);
    }

    const char* name_;
    Verdict verdict_ = Verdict::Ok;
    std::vector<std::string> notes_;
    std::vector<std::string> asides_;
    std::vector<std::string> advice_;
};

class SettingsCheck {
public:
    SettingsCheck(const std::function<StoredValue(const char*)>& read, const Surroundings& surroundings)
        : read_(read), surroundings_(surroundings) {}

    std::vector<Finding> Run() {
        const StoredValue status = read_(setting::kDbStatus);
        checkOn_ = status.kind == StoredValue::Kind::String && IsFlagOn(Trim(status.bytes));
        Port();
        Rate();
        Number(setting::kSector, "扇区号", false);
        Key();
        Flag(setting::kAuto, "是：收银程序自己定时读卡", "否：收银程序只在收银员按键时读卡", "否");
        Number(setting::kStepSec, "毫秒", true);
        Flag(setting::kDbStatus, "是：每次读卡后向一卡通系统查询卡的状态",
             "否：不查询卡的状态（挂失、冻结的卡也能读出卡号）", "否，不查询卡的状态");
        DatabaseText(setting::kDbIpAddr);
        DatabaseText(setting::kDbName);
        DatabaseText(setting::kDbUser);
        Password();
        Flag(setting::kCodeOrNo, "卡序号（10 位）", "卡编号（9 位）", "卡编号（9 位）");
        return std::move(findings_);
    }

private:
    // The common part: present, a string, blanks around it. False when the
    // value cannot be looked at further; `libraryReads` says what the card
    // operations make of a missing or unreadable value.
    bool Readable(Judgement& j, const StoredValue& v, const std::string& libraryReads) {
        if (v.kind == StoredValue::Kind::Missing) {
            j.Fail("未设置" + (libraryReads.empty() ? "" : "；" + libraryReads), InDialog(DialogStep(j.name())));
            return false;
        }
        if (v.kind == StoredValue::Kind::Other) {
            j.Fail("类型为 " + v.typeName + "，不是字符串（REG_SZ）" +
                       (libraryReads.empty() ? "" : "；" + libraryReads),
                   kDeleteValue);
            return false;
        }
        if (v.typeName != "REG_SZ")
            j.Aside("类型为 " + v.typeName + "，读卡库按普通字符串读取，不展开其中的 %变量%",
                   "用 ykt settings 重新保存，改为 REG_SZ。");
        if (Trim(v.bytes) != v.bytes)
            j.Aside("前后有空格或控制字符，读卡库会先去掉它们", "用 ykt settings 重新保存即可去掉。");
        return true;
    }

    // Secrets are never shown whole: the output is what technicians paste.
    enum class Secret { kNone, kPassword, kKey };

    void Add(const Judgement& j, const StoredValue& v, Secret secret = Secret::kNone) {
        std::optional<std::string> shown;
        if (v.kind == StoredValue::Kind::String) {
            if (secret == Secret::kPassword)
                shown = v.bytes.empty() ? std::string() : cli::MaskPassword(v.bytes);
            else if (secret == Secret::kKey)
                shown = Clipped(cli::MaskKey(Visible(v.shown)));
            else
                shown = Clipped(Visible(v.shown));
        }
        findings_.push_back(j.Done(std::move(shown)));
    }

    void Port() {
        const StoredValue v = read_(setting::kPort);
        Judgement j(setting::kPort);
        if (Readable(j, v, "读卡库会用 0 号串口（COM1）")) {
            const std::string t = Trim(v.bytes);
            const std::int32_t used = LibNumberFromText(t);
            const auto parsed = ParseInt32(t);
            const std::string usedText =
                "读卡库会用 " + std::to_string(used) + "（COM" + std::to_string(static_cast<long long>(used) + 1) + "）";
            if (!AllDigits(t) || !parsed) {
                j.Fail((t == "-1" ? std::string("没有选择串口") : "应为 0 到 9 的数字（0 表示 COM1，9 表示 COM10）") +
                           "；" + usedText,
                       InDialog(DialogStep(setting::kPort)));
            } else if (*parsed >= kPortCount) {
                j.Fail("超出 0 到 9（COM1 到 COM10）；" + usedText + "，设置窗口不能显示它",
                       InDialog(DialogStep(setting::kPort)));
            } else {
                const std::string com = "COM" + std::to_string(*parsed + 1);
                if (surroundings_.comPortExists && surroundings_.comPortExists(*parsed))
                    j.Ok(com + "，本机有这个串口");
                else if (surroundings_.simulator)
                    j.Ok(com + "；本机没有这个串口，但 irdll.dll 是模拟器，不需要串口");
                else
                    j.Fail(com + "：本机没有这个串口",
                           "检查读卡器的串口线或 USB 转串口线是否插好、驱动是否装好；在设备管理器的“端口（COM 和 "
                           "LPT）”中查看读卡器用的是哪个 COM 口，再以管理员身份运行 ykt settings 选择它。");
            }
        }
        Add(j, v);
    }

    void Rate() {
        const StoredValue v = read_(setting::kRate);
        Judgement j(setting::kRate);
        if (Readable(j, v, "读卡库会用波特率 0")) {
            const std::string t = Trim(v.bytes);
            const std::int32_t used = LibNumberFromText(t);
            const bool listed = AllDigits(t) && std::any_of(std::begin(kRates), std::end(kRates), [&](const char* r) {
                                    return std::to_string(used) == r;
                                });
            std::string rates;
            for (const char* r : kRates) rates += (rates.empty() ? "" : "、") + std::string(r);
            if (listed)
                j.Ok("波特率 " + std::to_string(used));
            else
                j.Fail("不是可选的波特率（" + rates + "）之一；读卡库会用 " + std::to_string(used),
                       InDialog(DialogStep(setting::kRate)));
        }
        Add(j, v);
    }

    // The sector and the polling interval: decimal digits as the dialog stores them.
    void Number(const char* name, const char* what, bool interval) {
        const StoredValue v = read_(name);
        Judgement j(name);
        if (Readable(j, v, interval ? "" : "读卡库会用 0 号扇区")) {
            const std::string t = Trim(v.bytes);
            const auto parsed = ParseInt32(t);
            const std::string advice = InDialog(DialogStep(name));
            if (t.empty())
                j.Fail(std::string("为空") + (interval ? "" : "；读卡库会用 0 号扇区"), advice);
            else if (!AllDigits(t) || !parsed)
                j.Fail("应为十进制数字" + std::string(interval ? "" : "；读卡库会用 " + std::to_string(LibNumberFromText(t)) + " 号扇区"),
                       advice);
            else if (interval && *parsed < kMinStepSec)
                j.Fail("小于 " + std::to_string(kMinStepSec) + " 毫秒", advice);
            else
                j.Ok(interval ? std::to_string(*parsed) + " " + what : std::string(what) + " " + std::to_string(*parsed));
        }
        Add(j, v);
    }

    void Key() {
        const StoredValue v = read_(setting::kKey);
        Judgement j(setting::kKey);
        const std::string fails = "读卡库不打开读卡器，读卡和扣款都会失败（结果 1）";
        const std::string advice = InDialog(DialogStep(setting::kKey));
        if (Readable(j, v, fails)) {
            const std::string t = Trim(v.bytes);
            const auto bad = std::find_if(t.begin(), t.end(), [](char c) {
                return !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'));
            });
            const bool lower = std::any_of(t.begin(), t.end(), [](char c) { return c >= 'a' && c <= 'f'; });
            if (t.size() != kKeyTextLength) {
                j.Fail("长度为 " + std::to_string(t.size()) + " 个字符，应为 " + std::to_string(kKeyTextLength) +
                           " 位十六进制数字；" + fails,
                       advice);
            } else if (bad != t.end()) {
                j.Fail("含有不是十六进制数字的字符" + Quoted(std::string(1, *bad)) +
                           "；读卡库按自己的规则换算，得到的密码读卡器不会接受",
                       advice);
            } else if (lower) {
                // The reader was given the key in capitals by whoever set it
                // up; the library's own conversion of a lower-case letter
                // hands it other bytes, which it refuses.
                j.Fail("含有小写字母；读卡库不把小写字母当作十六进制数字（例如 a 按 42 计），交给读卡器的密码与大写时不同，"
                       "读卡器不接受，读卡和扣款都会失败",
                       InDialog("在“通信密码”中删掉原来的密码，用大写字母重新输入"));
            } else {
                j.Ok("24 位十六进制数字");
            }
        }
        Add(j, v, Secret::kKey);
    }

    void Flag(const char* name, const char* on, const char* off, const char* otherwise) {
        const StoredValue v = read_(name);
        Judgement j(name);
        if (Readable(j, v, std::string("按“") + otherwise + "”处理")) {
            const std::string t = Trim(v.bytes);
            if (IsFlagOn(t))
                j.Ok(on);
            else if (t == "0")
                j.Ok(off);
            else
                j.Warn("不是 1 或 0；按“" + std::string(otherwise) + "”处理", InDialog(DialogStep(name)));
        }
        Add(j, v);
    }

    // Server, database name and user: needed when the card-state check is on;
    // read as text by every card-number read, so another type breaks reads.
    void DatabaseText(const char* name) {
        const StoredValue v = read_(name);
        Judgement j(name);
        const std::string fillIn = InDialog(DialogStep(name));
        if (v.kind == StoredValue::Kind::Other) {
            Readable(j, v, "读卡库每次读卡号都读取它，读卡会失败（结果 1）");
        } else if (v.kind == StoredValue::Kind::Missing) {
            if (checkOn_)
                j.Fail("已启用卡状态检查，但未设置", fillIn);
            else
                j.Ok("未设置（未启用卡状态检查，不需要）");
        } else if (Readable(j, v, "")) {
            if (Trim(v.bytes).empty() && checkOn_)
                j.Warn("为空；卡状态检查多半连不上一卡通系统，连不上时读卡库把卡当作可用", fillIn);
            else if (Trim(v.bytes).empty())
                j.Ok("为空（未启用卡状态检查，不需要）");
            else
                j.Ok(checkOn_ ? "已设置" : "已设置（未启用卡状态检查，不使用）");
        }
        Add(j, v);
    }

    void Password() {
        const StoredValue v = read_(setting::kDbPass);
        Judgement j(setting::kDbPass);
        const std::string retype = InDialog(DialogStep(setting::kDbPass));
        if (v.kind == StoredValue::Kind::Other) {
            Readable(j, v, "读卡库每次读卡号都读取它，读卡会失败（结果 1）");
        } else if (v.kind == StoredValue::Kind::Missing) {
            if (checkOn_)
                j.Fail("已启用卡状态检查，但未设置", retype);
            else
                j.Ok("未设置（未启用卡状态检查，不需要）");
        } else if (Readable(j, v, "")) {
            const std::string t = Trim(v.bytes);
            const auto decoded = DecodeDbPassword(t);
            const std::string effect = checkOn_ ? "；读卡库会用空密码查询卡状态" : "；启用卡状态检查前要重新输入";
            auto problem = [&](const std::string& note) {
                if (checkOn_)
                    j.Fail(note + effect, retype);
                else
                    j.Warn(note + effect, retype);
            };
            if (!decoded)
                problem("无法解码（含有不是数字的字符）");
            else if (t.size() % 4 != 0)
                problem("长度不是 4 的倍数，解码为空密码");
            else if (EncodeDbPassword(*decoded) != t)
                j.Warn("能解码，但不是设置窗口保存的形式，解码所得可能不是原来的密码", retype);
            else
                j.Ok(t.empty() ? "空密码" : "可以解码");
        }
        Add(j, v, Secret::kPassword);
    }

    const std::function<StoredValue(const char*)>& read_;
    const Surroundings& surroundings_;
    bool checkOn_ = false;
    std::vector<Finding> findings_;
};

}  // namespace

const char* VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok: return "正常";
        case Verdict::Warning: return "警告";
        default: return "错误";
    }
}

bool IsSimulator(const pe::Image& image) {
    return pe::VersionString(image.version, "ProductName") == std::string(YKT_SIM_PRODUCT_NAME);
}

std::optional<std::map<std::string, std::uint32_t>> ImportsFrom(const std::optional<pe::Image>& library,
                                                                 const std::string& dll) {
    if (!library) return std::nullopt;
    std::string lower = dll;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::map<std::string, std::uint32_t> names;
    const auto found = library->imports.find(lower);
    if (found != library->imports.end())
        for (const auto& name : found->second) names[name] = 0;
    return names;
}

Finding CheckDll(const DllFile& file, const DllExpectation& expected) {
    Finding finding;
    finding.subject = file.name;
    const std::string get = file.name == "Vb_Ykt.dll" ? "从 Vb_Ykt 安装包中复制 Vb_Ykt.dll"
                                                      : "从读卡器厂商的驱动中复制 32 位的 " + file.name;
    if (!file.found) {
        finding.verdict = Verdict::Error;
        finding.text = "未找到（" + file.path + "）";
        finding.advice = get + "，放到 ykt.exe 和收银程序所在的目录中。";
        return finding;
    }
    if (!file.image) {
        finding.verdict = Verdict::Error;
        finding.text = file.path + " 无法使用：" + file.readError;
        finding.advice = "文件已损坏或不是这个文件：" + get + "，替换它。";
        return finding;
    }
    const pe::Image& image = *file.image;
    std::vector<std::string> notes{file.path, pe::MachineName(image.machine)};
    if (const auto version = pe::FileVersion(image.version)) notes.push_back("版本 " + *version);
    auto text = [&] {
        std::string joined;
        for (const auto& note : notes) joined += (joined.empty() ? "" : "，") + note;
        return joined;
    };
    if (!image.isDll) {
        finding.verdict = Verdict::Error;
        notes.push_back("这不是 DLL 文件");
        finding.text = text();
        finding.advice = get + "，替换它。";
        return finding;
    }
    if (image.machine != expected.machine) {
        finding.verdict = Verdict::Error;
        notes.push_back("而 ykt.exe 是 " + pe::MachineName(expected.machine) + " 的：Windows 无法加载它");
        finding.text = text();
        finding.advice = "换成 " + pe::MachineName(expected.machine) + " 的版本：" + get + "。";
        return finding;
    }
    if (!expected.exports) {
        notes.push_back("Vb_Ykt.dll 无法读取，没有检查导出函数");
    } else {
        std::vector<std::string> missing;
        for (const auto& [name, ordinal] : *expected.exports) {
            const auto found = image.exports.find(name);
            if (found == image.exports.end())
                missing.push_back(name);
            else if (ordinal != 0 && found->second != ordinal)
                missing.push_back(name + "（序号应为 " + std::to_string(ordinal) + "，实为 " +
                                  std::to_string(found->second) + "）");
        }
        if (!missing.empty()) {
            std::string list;
            for (const auto& name : missing) list += (list.empty() ? "" : "、") + name;
            finding.verdict = Verdict::Error;
            notes.push_back("缺少读卡库需要的导出函数：" + list);
            finding.text = text();
            finding.advice = "这不是所需的版本：" + get + "，替换它。";
            return finding;
        }
        notes.push_back(std::to_string(expected.exports->size()) + " 个所需的导出函数齐全");
    }
    if (expected.vendorLibrary && IsSimulator(image)) {
        finding.verdict = Verdict::Warning;
        notes.push_back(file.name == "BCIdll.dll"
                            ? "这是 Vb_Ykt 的卡状态模拟器，只用于演示和培训：它不询问一卡通系统，卡是否可用由模拟器的文本文件决定"
                            : "这是 Vb_Ykt 的读卡器模拟器，只用于演示和培训：它不连接读卡器，扣款不会从卡上扣钱");
        finding.advice = "收银机上必须换成读卡器厂商的 " + file.name + "。";
    }
    finding.text = text();
    return finding;
}

std::vector<Finding> CheckSettings(const std::function<StoredValue(const char* name)>& read,
                                   const Surroundings& surroundings) {
    return SettingsCheck(read, surroundings).Run();
}

const char* DialogLabel(const char* name) {
    static const std::pair<const char*, const char*> kLabels[] = {
        {setting::kPort, "通信COM端口"},
        {setting::kRate, "通讯波特率"},
        {setting::kSector, "扇区号"},
        {setting::kKey, "通信密码"},
        {setting::kAuto, "自动查询读卡器"},
        {setting::kStepSec, "自动查询方式时的查询间隔"},
        {setting::kDbStatus, "读取一卡通卡的状态"},
        {setting::kDbIpAddr, "一卡通服务器IP地址或计算机名"},
        {setting::kDbName, "数据库名称"},
        {setting::kDbUser, "数据库用户"},
        {setting::kDbPass, "数据库密码"},
        {setting::kCodeOrNo, "读取卡序号 / 读取卡编号"},
    };
    for (const auto& [key, label] : kLabels)
        if (std::string(key) == name) return label;
    return name;
}

std::string VirtualStorePath(bool wow64) {
    return std::string("VirtualStore\\MACHINE\\") + (wow64 ? "SOFTWARE\\WOW6432Node\\Velbrook\\Lib" : kSettingsKeyPath);
}

Finding CompareVirtualCopy(const VirtualCopy& copy, const std::function<StoredValue(const char* name)>& readCopy,
                           const std::function<StoredValue(const char* name)>& readReal) {
    auto shown = [](const char* name, const StoredValue& v) -> std::string {
        if (v.kind == StoredValue::Kind::Missing) return "未设置";
        if (v.kind == StoredValue::Kind::Other) return "类型 " + v.typeName;
        if (std::string(name) == setting::kDbPass) return v.bytes.empty() ? "\"\"" : "\"******\"";
        if (std::string(name) == setting::kKey) return "\"" + Clipped(cli::MaskKey(Visible(v.shown))) + "\"";
        return "\"" + Clipped(Visible(v.shown)) + "\"";
    };
    std::string differences;
    for (const char* name : setting::kAll) {
        const StoredValue mine = readCopy(name);
        // A value the copy lacks is read from the real key.
        if (mine.kind == StoredValue::Kind::Missing) continue;
        const StoredValue real = readReal(name);
        if (mine.kind == real.kind && mine.typeName == real.typeName && mine.bytes == real.bytes) continue;
        differences += (differences.empty() ? "" : "、") + std::string(name) + "（副本 " + shown(name, mine) +
                       "，HKEY_LOCAL_MACHINE 中 " + shown(name, real) + "）";
    }
    Finding finding;
    finding.verdict = Verdict::Warning;
    finding.subject = "VirtualStore 副本";
    const std::string reads = copy.owner + "运行的收银程序（没有清单的 32 位程序，例如用 Delphi 7 编写的）读的是副本中的值，"
                              "其他用户、服务和 ykt 读的是 HKEY_LOCAL_MACHINE 中的值";
    if (!differences.empty())
        finding.text = copy.where + "：与 HKEY_LOCAL_MACHINE 中的设置不同：" + differences + "。" + reads;
    else
        finding.text = copy.where + "：与 HKEY_LOCAL_MACHINE 中的设置相同，现在没有影响；但" + copy.owner +
                       "在收银程序中保存设置时，仍会保存到副本中，而不是 HKEY_LOCAL_MACHINE";
    finding.advice = std::string(differences.empty() ? "" : "先确定哪一份是对的，以管理员身份用 ykt settings 保存正确的设置；") +
                     "删除副本：reg delete \"" + copy.where + "\" /f" +
                     (copy.currentUser ? "" : "（以管理员身份运行）") +
                     "；要让收银程序的设置窗口以后直接保存到 HKEY_LOCAL_MACHINE，以管理员身份运行 ykt setup --users-may-save"
                     "（见部署说明“设置改了但不起作用”）。";
    return finding;
}

Finding LoadFailure(unsigned long error) {
    Finding finding;
    finding.verdict = Verdict::Error;
    finding.subject = "Vb_Ykt.dll";
    std::string why;
    // The three files themselves passed part one, so the fault lies in what
    // the vendor libraries need in turn, or in their start-up code.
    switch (error) {
        case 126:  // ERROR_MOD_NOT_FOUND
            why = "三个文件都在，缺的是 irdll.dll 或 BCIdll.dll 自己还需要的某个 DLL（读卡器厂商的其他文件或运行库）";
            finding.advice = "向读卡器厂商问清 irdll.dll 和 BCIdll.dll 还需要哪些文件，把它们放到收银程序的目录中，"
                             "或者安装厂商的完整驱动程序。";
            break;
        case 193:  // ERROR_BAD_EXE_FORMAT
            why = "三个文件的位数都对，是 irdll.dll 或 BCIdll.dll 需要的某个 DLL 位数与 ykt.exe 不符（收银机上要 32 位的）或已损坏";
            finding.advice = "向读卡器厂商索取 32 位的完整驱动程序，连同它需要的所有文件一起替换。";
            break;
        case 1114:  // ERROR_DLL_INIT_FAILED
            why = "某个 DLL 的初始化（DllMain）失败了：多半是 irdll.dll 或 BCIdll.dll（或它们需要的 DLL）"
                  "启动时缺少厂商驱动、配置文件或设备";
            finding.advice = "按读卡器厂商的说明安装完整的驱动程序；仍然不行时，把这份检查结果发给厂商。";
            break;
        case 127:  // ERROR_PROC_NOT_FOUND
            why = "irdll.dll 或 BCIdll.dll 需要的某个 DLL 缺少它要的函数，版本不对";
            finding.advice = "向读卡器厂商索取配套的完整驱动程序，连同它需要的所有文件一起替换。";
            break;
        default:
            why = "Windows 无法加载它";
            finding.advice = "确认 Vb_Ykt.dll 来自 Vb_Ykt 安装包，irdll.dll 和 BCIdll.dll 来自读卡器厂商的 32 位驱动。";
    }
    finding.text = "无法加载（Windows 错误 " + std::to_string(error) + "）：" + why;
    return finding;
}

Finding InitComResult(int result, bool keyUsable) {
    Finding finding;
    finding.subject = "vbInitCom";
    finding.text = "结果 " + std::to_string(result) + "：";
    if (result == 0) {
        finding.text += "读卡库用保存的设置打开并关闭了读卡器（读卡器是否应答，要读卡时才知道）";
    } else if (!keyUsable) {
        finding.verdict = Verdict::Error;
        finding.text += "读卡库没有打开读卡器：没有保存的设置，或通信密码不是 24 位";
        finding.advice = "按第二部分改正 YKT_KEY。";
    } else {
        // The key has its 24 characters: the failure came from inside
        // irdll.dll, while it opened or closed the reader.
        finding.verdict = Verdict::Error;
        finding.text += "通信密码是 24 位，但 irdll.dll 在打开或关闭读卡器（WT_init、WT_exit）时出了错";
        finding.advice = "关掉其他可能占用这个串口的程序，检查读卡器的电源和连线；仍然不行时，"
                         "换用读卡器厂商与这台读卡器配套的 irdll.dll，或把这份检查结果发给厂商。";
    }
    return finding;
}

std::string Clipped(const std::string& utf8) {
    constexpr std::size_t kShown = 80;
    std::size_t characters = 0, cut = utf8.size();
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;  // inside a character
        if (characters == kShown) cut = i;
        ++characters;
    }
    if (characters <= kShown) return utf8;
    return utf8.substr(0, cut) + "…（共 " + std::to_string(characters) + " 个字符）";
}

std::string Visible(const std::string& utf8) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\t')
            out += "\\t";
        else if (u == '\r')
            out += "\\r";
        else if (u == '\n')
            out += "\\n";
        else if (u < 32 || u == 127)
            out += std::string("\\x") + digits[u >> 4] + digits[u & 15];
        else
            out += c;
    }
    return out;
}

}  // namespace ykt::doctor
