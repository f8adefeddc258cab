#include "JournalView.h"

#include "CommandLine.h"

namespace ykt::cli {

namespace {

using journal::Entry;
using journal::Outcome;
using journal::Record;

std::string Printable(const std::string& bytes) {
    // The card number as the host passed it: shown as is when it is digits,
    // quoted otherwise.
    for (char c : bytes)
        if (c < '0' || c > '9') return "“" + bytes + "”";
    return bytes.empty() ? "（未给出）" : bytes;
}

std::string StopText(const std::string& detail) {
    const std::string reason = detail.substr(0, detail.find(';'));
    if (reason == "bad_key") return "未扣款：通信密码不是 24 位或没有保存设置，没有调用读卡器";
    if (reason == "no_card") return "未扣款：卡序号模式下读卡器上没有读到卡";
    if (reason == "not_a_number") return "未扣款：收银程序给出的卡号不是数字";
    if (reason == "no_output") return "未扣款：无法写回收银程序的余额变量";
    if (reason == "wrong_card") return "未扣款：卡序号模式下读卡器上的卡不是收银程序给出卡号的那张卡";
    if (reason == "fault") return "未扣款：扣款之前的步骤出错（读取设置、打开读卡器或读卡）";
    return "未扣款：" + reason;
}

std::string BalanceText(const std::string& text) {
    const auto split = SplitBalance(text);
    return split ? "，余额 " + split->amount + " 元（卡片计数 " + split->fourth + "）" : "，未读回余额";
}

std::string SettingsText(const Record& record) {
    // user=<name>;NAME=value;NAME...
    std::string user, values;
    std::size_t at = 0;
    for (bool first = true; at <= record.detail.size(); first = false) {
        const std::size_t end = record.detail.find(';', at);
        const std::string part = record.detail.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (first && part.rfind("user=", 0) == 0)
            user = part.substr(5);
        else if (!part.empty())
            values += (values.empty() ? "" : "，") +
                      (part.find('=') == std::string::npos ? part + "（已修改，不显示）" : part);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return "保存设置：Windows 用户 " + (user.empty() ? std::string("（未知）") : user) + "，写入 " + values;
}

}  // namespace

std::string EntryLine(const Entry& entry) {
    const Record& first = entry.first;
    std::string line = journal::TimestampText(first.time) + "  ";
    if (first.event == journal::Event::kSettings) return line + SettingsText(first);
    const Record& last = entry.finish ? *entry.finish : first;
    std::string card = "卡号 " + Printable(first.cardNumber);
    if (first.mode == journal::kSerialMode) card += "（卡序号模式）";
    if (last.cardCode) card += "，卡编号 " + std::to_string(*last.cardCode);
    const std::string amount = first.amount ? "，金额 " + FormatHundredths(*first.amount) + " 元" : "";
    switch (entry.outcome) {
        case Outcome::kCharged:
            line += "已扣款  " + card + amount + BalanceText(last.balance);
            break;
        case Outcome::kRefused:
            line += "未扣款  " + card + amount + "：读卡器拒绝扣款（返回 " + last.decrease + "）";
            break;
        case Outcome::kUnconfirmed:
            line += "未确认  " + card + amount +
                    (entry.finish || first.event == journal::Event::kFinish
                         ? "：扣款时读卡器驱动出错（" + last.decrease + "），卡上是否已扣款不能确定"
                         : "：只有扣款开始的记录，收银程序在扣款时中断（被结束或断电），卡上是否已扣款不能确定");
            break;
        case Outcome::kStopped:
            line += StopText(first.detail) + "  " + card + amount;
            break;
        case Outcome::kNone:
            line += "记录不完整  " + card + amount;
            break;
    }
    return line + "  [进程 " + std::to_string(first.pid) + "]";
}

std::string JournalListing(const journal::Book& book, bool unconfirmedOnly) {
    std::string text;
    std::size_t charged = 0, refused = 0, unconfirmed = 0, stopped = 0, saves = 0;
    std::int64_t chargedSum = 0, unconfirmedSum = 0;
    for (const Entry& entry : book.entries) {
        const std::int64_t amount = entry.first.amount.value_or(0);
        switch (entry.outcome) {
            case Outcome::kCharged: ++charged, chargedSum += amount; break;
            case Outcome::kRefused: ++refused; break;
            case Outcome::kUnconfirmed: ++unconfirmed, unconfirmedSum += amount; break;
            case Outcome::kStopped: ++stopped; break;
            case Outcome::kNone: ++saves; break;
        }
        if (!unconfirmedOnly || entry.outcome == Outcome::kUnconfirmed) text += EntryLine(entry) + "\n";
    }
    text += "合计：已扣款 " + std::to_string(charged) + " 笔，共 " + FormatHundredths(chargedSum) + " 元；未确认 " +
            std::to_string(unconfirmed) + " 笔，共 " + FormatHundredths(unconfirmedSum) + " 元；未扣款 " +
            std::to_string(refused + stopped) + " 笔；保存设置 " + std::to_string(saves) + " 次。\n";
    if (unconfirmed > 0)
        text += "未确认的扣款：请在一卡通系统中查询该卡的余额和流水，或把卡放在读卡器上用 ykt read 读卡核对，"
                "确认没有扣款后再重新收款。\n";
    if (book.unreadable > 0)
        text += "另有 " + std::to_string(book.unreadable) + " 行无法识别（被改动或写入时断电），已跳过。\n";
    return text;
}

std::vector<doctor::Finding> UnconfirmedFindings(const journal::Book& book, std::int64_t today) {
    std::vector<doctor::Finding> findings;
    for (const Entry& entry : book.entries) {
        if (entry.outcome != Outcome::kUnconfirmed) continue;
        const auto& t = entry.first.time;
        const std::int64_t age = today - journal::DayNumber(t.year, t.month, t.day);
        if (age < 0 || age > kUnconfirmedWarningDays) continue;
        doctor::Finding finding;
        finding.verdict = doctor::Verdict::Warning;
        finding.subject = "未确认的扣款";
        finding.text = EntryLine(entry);
        finding.advice = "在一卡通系统中查询这张卡的余额和流水，或把卡放在读卡器上用 ykt read 读卡核对；"
                         "确认卡上没有扣款后才能重新收款。";
        findings.push_back(finding);
    }
    return findings;
}

}  // namespace ykt::cli
