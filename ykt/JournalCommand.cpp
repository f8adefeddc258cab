#include <windows.h>

#include "JournalCommand.h"

#include <optional>

#include "CommandLine.h"
#include "JournalView.h"
#include "core/journal/JournalRecord.h"
#include "core/settings/SettingsStore.h"
#include "journal/JournalFile.h"
#include "journal/JournalFolder.h"
#include "platform/WideText.h"

namespace ykt::cli {

namespace {

using doctor::Finding;
using doctor::Verdict;

std::string Utf8(const std::wstring& text) { return FromWide(text, CP_UTF8); }

std::wstring MonthPath(const std::wstring& folder, int year, int month) {
    return folder + L"\\" + ToWide(journal::MonthFileName(year, month), CP_ACP);
}

// The whole file; nothing with `error` set when it cannot be read,
// nothing with error 0 when it does not exist.
std::optional<std::string> ReadText(const std::wstring& path, DWORD& error) {
    error = 0;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD failed = GetLastError();
        error = failed == ERROR_FILE_NOT_FOUND || failed == ERROR_PATH_NOT_FOUND ? 0 : failed;
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    return text;
}

bool JournalSwitchedOff() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char value[64] = {};
    DWORD size = sizeof value - 1, type = 0;
    const bool read = RegQueryValueExA(key, setting::kJournal, nullptr, &type, reinterpret_cast<BYTE*>(value),
                                       &size) == ERROR_SUCCESS &&
                      (type == REG_SZ || type == REG_EXPAND_SZ);
    RegCloseKey(key);
    if (!read) return false;
    std::string text(value);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.pop_back();
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.erase(0, 1);
    return text == "0";
}

}  // namespace

int ShowJournal(PrintText out, PrintText err, int year, int month, bool unconfirmedOnly) {
    const auto folder = journal::JournalFolder();
    if (!folder) {
        err("无法确定扣款记录所在的目录（Windows 没有给出“所有用户的应用程序数据”目录）。\n");
        return kExitFailed;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (year == 0) year = now.wYear, month = now.wMonth;
    const std::wstring path = MonthPath(*folder, year, month);
    DWORD error = 0;
    const auto text = ReadText(path, error);
    if (!text) {
        if (error != 0) {
            err("无法读取 " + Utf8(path) + "（Windows 错误 " + std::to_string(error) + "）。\n");
            return kExitFailed;
        }
        out(Utf8(path) + "：这个月还没有扣款记录。\n");
        return kExitOk;
    }
    out("扣款记录 " + Utf8(path) + (unconfirmedOnly ? "（只列出未确认的扣款）" : "") + "\n");
    out(JournalListing(journal::ReadBook(*text), unconfirmedOnly));
    return kExitOk;
}

std::string JournalHeading() {
    const auto folder = journal::JournalFolder();
    return "四、扣款记录（" + (folder ? Utf8(*folder) : std::string("目录未知")) + "）";
}

std::vector<Finding> JournalFindings() {
    std::vector<Finding> findings;
    auto add = [&](Verdict verdict, const std::string& text, const std::string& advice = "") {
        Finding finding;
        finding.verdict = verdict;
        finding.subject = "扣款记录";
        finding.text = text;
        finding.advice = advice;
        findings.push_back(finding);
    };
    const auto folder = journal::JournalFolder();
    if (!folder) {
        add(Verdict::Error, "Windows 没有给出“所有用户的应用程序数据”目录，读卡库无法记录扣款",
            "检查系统的用户配置文件是否完整（XP：C:\\Documents and Settings\\All Users，Vista 起：C:\\ProgramData）。");
        return findings;
    }
    if (JournalSwitchedOff())
        add(Verdict::Warning, "已关闭（注册表值 YKT_JOURNAL 为 \"0\"），扣款不会留下记录",
            "除非另有安排，删除 YKT_JOURNAL 值或改为 \"1\"，以便出现争议或断电时能查到每笔扣款。");

    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::wstring thisMonth = MonthPath(*folder, now.wYear, now.wMonth);
    const DWORD attributes = GetFileAttributesW(folder->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        add(Verdict::Ok, "目录还不存在：第一次扣款时由读卡库建立");
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        add(Verdict::Error, "该位置是一个文件而不是目录，读卡库无法记录扣款",
            "确认这个文件没有用处后删除它，下一次扣款时读卡库会重新建立目录。");
    } else {
        // Whether this user can append: the month's file opened as the library
        // opens it, or, before the month's first record, a file created in the folder.
        HANDLE file = GetFileAttributesW(thisMonth.c_str()) != INVALID_FILE_ATTRIBUTES
                          ? journal::OpenForAppend(thisMonth)
                          : CreateFileW(folder->c_str(), FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (error == 0)
            add(Verdict::Ok, "当前 Windows 用户可以追加记录");
        else if (error == ERROR_SHARING_VIOLATION)
            add(Verdict::Error, "本月的记录文件正被其他程序独占打开（例如 Excel），这期间的扣款无法记录",
                "关闭打开该文件的程序；要用 Excel 查看，请先把文件复制到别处再打开副本。");
        else
            add(Verdict::Error, "当前 Windows 用户不能追加记录（Windows 错误 " + std::to_string(error) + "）",
                "以管理员身份删除该目录，下一次扣款时读卡库会按正确的权限重新建立；或给 Users 组该目录的“创建文件/追加数据”权限。");

        std::uint64_t bytes = 0;
        int files = 0;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((*folder + L"\\*.csv").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                ++files;
                bytes += (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        add(Verdict::Ok, std::to_string(files) + " 个月的记录，共 " + std::to_string((bytes + 1023) / 1024) +
                             " KB（读卡库从不删减记录，需要时可把旧月份的文件移走存档）");
    }

    // The unconfirmed deductions of the last days: this month's file and the one before.
    const std::int64_t today = journal::DayNumber(now.wYear, now.wMonth, now.wDay);
    const int previousYear = now.wMonth == 1 ? now.wYear - 1 : now.wYear;
    const int previousMonth = now.wMonth == 1 ? 12 : now.wMonth - 1;
    std::size_t warnings = 0;
    for (const std::wstring& path : {MonthPath(*folder, previousYear, previousMonth), thisMonth}) {
        DWORD error = 0;
        const auto text = ReadText(path, error);
        if (!text) continue;
        for (auto& finding : UnconfirmedFindings(journal::ReadBook(*text), today)) {
            findings.push_back(finding);
            ++warnings;
        }
    }
    if (warnings == 0 && attributes != INVALID_FILE_ATTRIBUTES)
        add(Verdict::Ok, "最近 " + std::to_string(kUnconfirmedWarningDays) + " 天没有未确认的扣款");
    return findings;
}

}  // namespace ykt::cli
