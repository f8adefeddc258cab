// The journal's lines: what goes in comes back out, every line is ASCII and
// whole, and a file reads as the deductions it records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/journal/JournalRecord.h"

using namespace ykt::journal;

namespace {

Record Sample(Event event) {
    Record r;
    r.time = {2024, 5, 1, 12, 34, 56, 789};
    r.pid = 4242;
    r.call = 0x00AB00CD00EF0012ull;
    r.event = event;
    r.mode = kCodeMode;
    r.cardCode = 12;
    r.cardNumber = "000000012";
    r.amount = 250;
    return r;
}

std::string Shown(const Record& r) { return FormatRecord(r); }

bool PrintableAsciiLine(const std::string& line) {
    if (line.size() < 2 || line.substr(line.size() - 2) != "\r\n") return false;
    for (std::size_t i = 0; i + 2 < line.size(); ++i)
        if (static_cast<unsigned char>(line[i]) < 0x20 || static_cast<unsigned char>(line[i]) >= 0x7F) return false;
    return true;
}

TEST(JournalRecord, EveryFieldComesBackAsItWent) {
    std::string everyByte;
    for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
    struct Case {
        const char* name;
        void (*change)(Record&);
    };
    const Case cases[] = {
        {"a start", [](Record&) {}},
        {"a finish, charged", [](Record& r) {
             r.event = Event::kFinish, r.decrease = DecreaseResultText(1), r.result = 0, r.balance = "3.45,7",
             r.outcome = Outcome::kCharged;
         }},
        {"a finish, unconfirmed", [](Record& r) {
             r.event = Event::kFinish, r.decrease = DecreaseFaultText(0xC0000005ul), r.result = 1,
             r.balance = "0,0", r.outcome = Outcome::kUnconfirmed;
         }},
        {"a stop without mode or code", [](Record& r) {
             r.event = Event::kStop, r.mode.clear(), r.cardCode.reset(), r.outcome = Outcome::kStopped,
             r.detail = StopReasonName(StopReason::kBadKey), r.result = 1;
         }},
        {"quotes and commas", [](Record& r) { r.cardNumber = "\"1,2\",\"\""; }},
        {"formula starts", [](Record& r) { r.cardNumber = "=1+2", r.balance = "+1", r.detail = "@x"; }},
        {"percent signs", [](Record& r) { r.cardNumber = "%41%", r.detail = "100%"; }},
        {"code page 936 and control bytes", [](Record& r) { r.cardNumber = "\xD5\xC5\r\n\t"; }},
        {"extremes", [](Record& r) {
             r.pid = 0xFFFFFFFFu, r.call = ~0ull, r.cardCode = INT32_MIN, r.amount = INT32_MAX, r.result = -1;
         }},
        {"a settings save", [](Record& r) {
             r = Record(), r.event = Event::kSettings, r.time = {2024, 12, 31, 23, 59, 59, 999};
             r.detail = SettingsSavedDetail("\xE5\xBC\xA0\xE4\xB8\x89", {{"YKT_PORT", "0"}, {"YKT_KEY", "x"}});
         }},
    };
    for (const Case& c : cases) {
        Record r = Sample(Event::kStart);
        c.change(r);
        const std::string line = FormatRecord(r);
        EXPECT_TRUE(PrintableAsciiLine(line)) << c.name << ": " << line;
        const auto back = ParseRecord(line);
        ASSERT_TRUE(back) << c.name << ": " << line;
        EXPECT_EQ(Shown(*back), line) << c.name;
        EXPECT_EQ(back->cardNumber, r.cardNumber) << c.name;
        EXPECT_EQ(back->detail, r.detail) << c.name;
    }
    // Every byte value, in a field of its own.
    Record r = Sample(Event::kStart);
    r.cardNumber.clear();
    r.detail = everyByte;
    const auto back = ParseRecord(FormatRecord(r));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->detail, everyByte);
}

TEST(JournalRecord, KeepsTheColumnsOfTheHeader) {
    const std::string line = FormatRecord(Sample(Event::kStart));
    EXPECT_EQ(line, "2024-05-01 12:34:56.789,4242,00AB00CD00EF0012,start,code,12,000000012,250,,,,,\r\n");
    std::size_t commas = 0;
    for (char c : kHeader) commas += c == ',';
    EXPECT_EQ(commas, 12u);
    EXPECT_FALSE(ParseRecord(std::string(kHeader)));
}

TEST(JournalRecord, RefusesWhatIsNotARecord) {
    const std::string whole = FormatRecord(Sample(Event::kFinish));
    const std::vector<std::string> bad = {
        "",
        "garbage",
        whole.substr(0, 20),                                   // torn inside the time
        whole.substr(0, whole.find(",finish")),                // torn before the event
        "2024-13-01 12:34:56.789,1,1,start,code,12,1,1,,,,,",  // month 13
        "2024-05-01 12:34:56.789,x,1,start,code,12,1,1,,,,,",  // pid
        "2024-05-01 12:34:56.789,1,1,begin,code,12,1,1,,,,,",  // event
        "2024-05-01 12:34:56.789,1,1,start,code,12a,1,1,,,,,", // card code
        "2024-05-01 12:34:56.789,1,1,start,code,12,1,1,,,,lost,",  // outcome
        "2024-05-01 12:34:56.789,1,1,start,code,12,\"1,1,,,,,",    // open quote
        "2024-05-01 12:34:56.789,1,1,start,code,12,%4,1,,,,,",     // half an escape
        "2024-05-01 12:34:56.789,1,1,start,code,12,1,1,,,,,,",     // a column too many
        "2024-05-01 12:34:56.789,1,1,start,code,12,\xD5\xC5,1,,,,,",  // not ASCII
    };
    for (const std::string& line : bad) EXPECT_FALSE(ParseRecord(line)) << "accepted: " << line;
}

TEST(JournalRecord, SettingsSavesNameTheSecretsOnly) {
    const std::string detail = SettingsSavedDetail(
        "admin", {{"YKT_PORT", "2"}, {"YKT_KEY", "5A3C96E1B74D2F08C5A17E39"}, {"YKT_DBPASS", "0123"}, {"YKT_CODEORNO", "1"}});
    EXPECT_EQ(detail, "user=admin;YKT_PORT=2;YKT_KEY;YKT_DBPASS;YKT_CODEORNO=1");
}

TEST(JournalRecord, MonthFilesAndDays) {
    EXPECT_EQ(MonthFileName(2024, 5), "2024-05.csv");
    EXPECT_EQ(DayNumber(1970, 1, 1), 0);
    EXPECT_EQ(DayNumber(2024, 3, 1) - DayNumber(2024, 2, 1), 29);
    EXPECT_EQ(DayNumber(2025, 1, 1) - DayNumber(2024, 12, 2), 30);
}

class JournalBook : public testing::Test {
protected:
    static Record Finish(Record start, Outcome outcome) {
        start.event = Event::kFinish;
        start.outcome = outcome;
        start.result = outcome == Outcome::kCharged ? 0 : 1;
        return start;
    }
};

TEST_F(JournalBook, PairsEachStartWithItsFinish) {
    Record a = Sample(Event::kStart), b = Sample(Event::kStart), c = Sample(Event::kStart);
    b.pid = 7;        // another process, same call counter
    c.call = 99;      // the same process, a later call that never finished
    Record stop = Sample(Event::kStop);
    stop.outcome = Outcome::kStopped;
    stop.detail = StopReasonName(StopReason::kNoCard);
    const std::string text = std::string(kHeader) + "\r\n" + FormatRecord(a) + FormatRecord(b) + "torn line\r\n" +
                             FormatRecord(Finish(b, Outcome::kRefused)) + FormatRecord(c) + FormatRecord(stop) +
                             FormatRecord(Finish(a, Outcome::kCharged)) + FormatRecord(a).substr(0, 30);
    const Book book = ReadBook(text);
    ASSERT_EQ(book.entries.size(), 4u);
    const Outcome expected[] = {Outcome::kCharged, Outcome::kRefused, Outcome::kUnconfirmed, Outcome::kStopped};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(OutcomeName(book.entries[i].outcome), std::string(OutcomeName(expected[i]))) << "entry " << i;
    EXPECT_TRUE(book.entries[0].finish && book.entries[1].finish);
    EXPECT_FALSE(book.entries[2].finish);
    // The line inside and the last line without its end are no records.
    EXPECT_EQ(book.unreadable, 2u);
}

TEST_F(JournalBook, AFinishWithoutItsStartStillCounts) {
    const Book book = ReadBook(FormatRecord(Finish(Sample(Event::kStart), Outcome::kCharged)));
    ASSERT_EQ(book.entries.size(), 1u);
    EXPECT_EQ(book.entries[0].outcome, Outcome::kCharged);
}

}  // namespace
