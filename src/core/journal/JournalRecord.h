// The deduction journal's record: one line of a monthly CSV file, written by
// the library around every deduction and by the settings dialog's save, read
// by ykt. Portable: building and parsing a line, the header, the names of
// events and outcomes, and the pairing of a deduction's two records. The
// files themselves are the Windows shell's business.
//
// Lines are ASCII only, so that Excel opens them and Notepad on XP shows them
// whatever the code page: bytes outside the printable ASCII range (and "%")
// are written as %XX, and a field holding a comma or a quote is quoted as CSV
// quotes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ykt::journal {

// The first line of every file.
inline constexpr std::string_view kHeader =
    "time,pid,call,event,mode,card_code,card_number,amount,decrease,result,balance,outcome,detail";

// The folder under the common application data folder, and a file per month.
inline constexpr const wchar_t* kFolderBelowCommonAppData = L"Velbrook\\Vb_Ykt\\journal";
// "2024-05.csv".
std::string MonthFileName(int year, int month);

// How much of the host's card number a record keeps; a longer one is cut
// there and its length is named in the detail.
inline constexpr std::size_t kCardNumberKept = 40;

enum class Event {
    kStart,     // "start": written and flushed just before Decrease is called
    kFinish,    // "finish": the outcome, before vbDecCard returns
    kStop,      // "stop": the call ended before Decrease; the detail names why
    kSettings,  // "settings": the dialog saved; the detail names what and who
};

enum class Outcome {
    kNone,         // "": start and settings records
    kCharged,      // "charged": Decrease reported the deduction; result 0
    kRefused,      // "refused": Decrease answered something else; result 1
    kUnconfirmed,  // "unconfirmed": Decrease faulted, the card may or may not be charged
    kStopped,      // "stopped": Decrease was never called
};

// Why a call stopped before Decrease.
enum class StopReason {
    kBadKey,      // "bad_key": no settings or a key that is not 24 characters
    kNoCard,      // "no_card": serial-number mode and no card read
    kNotANumber,  // "not_a_number": code mode and a card number that is no decimal integer
    kNoOutput,    // "no_output": the balance variable could not be written
    kFault,       // "fault": an error in a step before Decrease (settings, WT_init, the read)
    kWrongCard,   // "wrong_card": serial-number mode and the card on the reader is not the one the host named
};

const char* EventName(Event event);
const char* OutcomeName(Outcome outcome);
const char* StopReasonName(StopReason reason);
std::optional<Event> EventFromName(std::string_view name);
std::optional<Outcome> OutcomeFromName(std::string_view name);

// Local time of the record.
struct Timestamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
// "2024-05-01 12:34:56.789"
std::string TimestampText(const Timestamp& time);
std::optional<Timestamp> ParseTimestamp(std::string_view text);
// Days since 1970-01-01 of the date, for "the last 30 days".
std::int64_t DayNumber(int year, int month, int day);

struct Record {
    Timestamp time;
    std::uint32_t pid = 0;
    std::uint64_t call = 0;  // the same in a deduction's start and finish records
    Event event = Event::kStart;
    std::string mode;  // "code" or "serial"; empty when unknown
    std::optional<std::int32_t> cardCode;
    std::string cardNumber;  // bytes as the host passed them (at most kCardNumberKept)
    std::optional<std::int32_t> amount;
    std::string decrease;  // Decrease's result ("1", "0", ...) or "fault C0000005"
    std::optional<std::int32_t> result;  // what vbDecCard returned
    std::string balance;                 // the balance text the host got
    Outcome outcome = Outcome::kNone;
    std::string detail;
};

// Mode names.
inline constexpr const char* kCodeMode = "code";
inline constexpr const char* kSerialMode = "serial";

// Decrease's part of a record: its result, or the fault that ended it.
std::string DecreaseResultText(std::int32_t result);
std::string DecreaseFaultText(unsigned long code);

// One line, ended by CR LF; only printable ASCII before the line end.
std::string FormatRecord(const Record& record);
// A line as FormatRecord writes it (the line end may be missing); nothing for
// the header or a line that is not a whole record.
std::optional<Record> ParseRecord(std::string_view line);

// The record's texts as they were given (the %XX and the quoting undone).
// Exposed for ykt, which shows the detail of a settings record.
std::string EscapeField(std::string_view bytes);
std::optional<std::string> UnescapeField(std::string_view field);

// The detail of a settings record: the Windows user (UTF-8), then each value
// written as name=value; the key and the database password by name only.
std::string SettingsSavedDetail(std::string_view user,
                                const std::vector<std::pair<const char*, std::string>>& written);
bool IsSecretSetting(std::string_view name);

// ---- reading a file -----------------------------------------------------------

// One deduction as a reader sees it: a start and its finish, a start whose
// finish never came (the process died: not confirmed), or a stop. Settings
// records stand alone.
struct Entry {
    Record first;                  // start, stop or settings record
    std::optional<Record> finish;  // the finish of a start
    Outcome outcome = Outcome::kNone;
};

struct Book {
    std::vector<Entry> entries;  // in the order of their first records
    std::size_t unreadable = 0;  // lines that are not records (the header excluded)
};

// Pairs each start with the next finish of the same pid and call. A start
// without one reads as not confirmed.
Book ReadBook(std::string_view fileText);

}  // namespace ykt::journal
