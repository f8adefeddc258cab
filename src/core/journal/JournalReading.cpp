// Reading the journal back: the parse of a line and the pairing of a
// deduction's records. Only ykt reads the journal; the library writes it and
// does not carry this.
#include <map>

#include "core/journal/JournalRecord.h"
#include "core/settings/SettingsRules.h"

namespace ykt::journal {

namespace {

constexpr std::size_t kFieldCount = 13;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Empty text is no number; anything else must be a whole decimal integer.
bool ParseOptionalNumber(std::string_view text, std::optional<std::int32_t>& value) {
    if (text.empty()) {
        value.reset();
        return true;
    }
    value = ParseInt32(text);
    return value.has_value();
}

bool ParseUnsigned(std::string_view text, int base, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (char c : text) {
        const int digit = HexValue(c);
        if (digit < 0 || digit >= base) return false;
        if (value > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) return false;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return true;
}

// The fields of a line, CSV quoting undone (the %XX is left to UnescapeField).
std::optional<std::vector<std::string>> SplitLine(std::string_view line) {
    std::vector<std::string> fields;
    std::string field;
    std::size_t i = 0;
    for (;;) {
        field.clear();
        if (i < line.size() && line[i] == '"') {
            ++i;
            for (;;) {
                if (i >= line.size()) return std::nullopt;  // an open quote: a torn line
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            if (i < line.size() && line[i] != ',') return std::nullopt;
        } else {
            while (i < line.size() && line[i] != ',') {
                if (line[i] == '"') return std::nullopt;
                field += line[i++];
            }
        }
        fields.push_back(field);
        if (fields.size() > kFieldCount) return std::nullopt;
        if (i >= line.size()) break;
        ++i;  // the comma
    }
    return fields;
}

}  // namespace

std::optional<Event> EventFromName(std::string_view name) {
    for (int i = 0; i < 4; ++i)
        if (name == EventName(static_cast<Event>(i))) return static_cast<Event>(i);
    return std::nullopt;
}

std::optional<Outcome> OutcomeFromName(std::string_view name) {
    for (int i = 0; i < 5; ++i)
        if (name == OutcomeName(static_cast<Outcome>(i))) return static_cast<Outcome>(i);
    return std::nullopt;
}

std::optional<Timestamp> ParseTimestamp(std::string_view text) {
    // YYYY-MM-DD hh:mm:ss.mmm
    static constexpr std::string_view shape = "0000-00-00 00:00:00.000";
    if (text.size() != shape.size()) return std::nullopt;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == '0' ? !digit : text[i] != shape[i]) return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    Timestamp t{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2), number(20, 3)};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 60)
        return std::nullopt;
    return t;
}

std::int64_t DayNumber(int year, int month, int day) {
    // The civil-from-days inverse (proleptic Gregorian calendar).
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<std::string> UnescapeField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c == '%') {
            if (i + 2 >= field.size()) return std::nullopt;
            const int high = HexValue(field[i + 1]), low = HexValue(field[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c < 0x20 || c >= 0x7F) {
            return std::nullopt;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::optional<Record> ParseRecord(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto raw = SplitLine(line);
    if (!raw || raw->size() != kFieldCount) return std::nullopt;
    std::vector<std::string> f;
    for (const std::string& field : *raw) {
        auto text = UnescapeField(field);
        if (!text) return std::nullopt;
        f.push_back(std::move(*text));
    }
    Record r;
    const auto time = ParseTimestamp(f[0]);
    if (!time) return std::nullopt;
    r.time = *time;
    std::uint64_t pid = 0, call = 0;
    if (!ParseUnsigned(f[1], 10, 0xFFFFFFFFull, pid) || !ParseUnsigned(f[2], 16, ~0ull, call)) return std::nullopt;
    r.pid = static_cast<std::uint32_t>(pid);
    r.call = call;
    const auto event = EventFromName(f[3]);
    const auto outcome = OutcomeFromName(f[11]);
    if (!event || !outcome) return std::nullopt;
    r.event = *event;
    r.outcome = *outcome;
    r.mode = f[4];
    r.cardNumber = f[6];
    r.decrease = f[8];
    r.balance = f[10];
    r.detail = f[12];
    if (!ParseOptionalNumber(f[5], r.cardCode) || !ParseOptionalNumber(f[7], r.amount) ||
        !ParseOptionalNumber(f[9], r.result))
        return std::nullopt;
    return r;
}

Book ReadBook(std::string_view text) {
    Book book;
    std::map<std::pair<std::uint32_t, std::uint64_t>, std::size_t> open;  // start records awaiting their finish
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            // A last line without its end was cut off as it was written.
            ++book.unreadable;
            break;
        }
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        std::string_view bare = line;
        if (!bare.empty() && bare.back() == '\r') bare.remove_suffix(1);
        if (bare.empty() || bare == kHeader) continue;
        auto record = ParseRecord(bare);
        if (!record) {
            ++book.unreadable;
            continue;
        }
        const auto id = std::make_pair(record->pid, record->call);
        if (record->event == Event::kFinish) {
            const auto start = open.find(id);
            if (start != open.end()) {
                Entry& entry = book.entries[start->second];
                entry.outcome = record->outcome;
                entry.finish = std::move(*record);
                open.erase(start);
                continue;
            }
            // A finish without its start (the start line was lost): it still says what happened.
            Entry entry;
            entry.outcome = record->outcome;
            entry.first = std::move(*record);
            book.entries.push_back(std::move(entry));
            continue;
        }
        Entry entry;
        entry.outcome = record->event == Event::kStart ? Outcome::kUnconfirmed
                        : record->event == Event::kStop ? Outcome::kStopped
                                                        : Outcome::kNone;
        if (record->event == Event::kStart) open[id] = book.entries.size();
        entry.first = std::move(*record);
        book.entries.push_back(std::move(entry));
    }
    return book;
}

}  // namespace ykt::journal
