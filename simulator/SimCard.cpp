#include "SimCard.h"

#include "core/settings/SettingsRules.h"

#include <cstdlib>
#include <map>
#include <type_traits>
#include <sstream>

namespace ykt::sim {

namespace {

// Plain decimal digits with an optional minus sign, within [low, high].
bool ParseWhole(const std::string& text, long long low, long long high, long long& value) {
    const std::size_t digits = text.size() - (!text.empty() && text[0] == '-' ? 1 : 0);
    if (text.empty() || text[0] == '+' || digits == 0 || digits > 12) return false;
    const std::optional<std::int64_t> parsed = ParseInt64(text);
    if (!parsed) return false;
    value = *parsed;
    return value >= low && value <= high;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr long long kInt32Min = -2147483648LL;
constexpr long long kInt32Max = 2147483647LL;

}  // namespace

std::optional<std::array<unsigned char, kKeyTextLength / 2>> KeyBytes(const std::string& hex) {
    if (hex.size() != kKeyTextLength) return std::nullopt;
    std::array<unsigned char, kKeyTextLength / 2> bytes{};
    for (std::size_t i = 0; i < kKeyTextLength / 2; ++i) {
        const int high = HexDigit(hex[2 * i]), low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return bytes;
}

std::optional<CardState> ParseState(const std::string& text, std::string& error) {
    std::map<std::string, std::string> values;
    std::map<std::string, int> lines;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(lineNo) + ": not key=value: '" + line + "'";
            return std::nullopt;
        }
        const std::string key = Trim(line.substr(0, eq));
        if (lines.count(key)) {
            error = "line " + std::to_string(lineNo) + ": " + key + " given twice (first on line " +
                    std::to_string(lines[key]) + ")";
            return std::nullopt;
        }
        values[key] = Trim(line.substr(eq + 1));
        lines[key] = lineNo;
    }

    // An unknown key first: a misspelt name also makes the right one missing,
    // and the misspelling is what the user has to fix.
    static const char* const kKnown[] = {"serial",  "code",       "balance",    "fourth",
                                         "present", "reader_key", "card_state", "delay_ms"};
    for (const auto& [key, value] : values) {
        bool known = false;
        for (const char* name : kKnown) known = known || key == name;
        if (!known) {
            error = "line " + std::to_string(lines[key]) + ": unknown key '" + key + "'";
            return std::nullopt;
        }
    }

    CardState state;
    auto where = [&](const std::string& key) {
        return lines.count(key) ? "line " + std::to_string(lines[key]) + ": " : std::string();
    };
    // Takes a whole number within [low, high]; a missing key is an error
    // unless it is optional (then the default stays).
    auto number = [&](const char* key, long long low, long long high, bool optional, auto& field) {
        auto found = values.find(key);
        if (found == values.end()) {
            if (!optional) error = std::string("missing ") + key;
            return optional;
        }
        long long value = 0;
        if (!ParseWhole(found->second, low, high, value)) {
            error = where(key) + key + ": not a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ": '" + found->second + "'";
            return false;
        }
        field = static_cast<std::remove_reference_t<decltype(field)>>(value);
        return true;
    };
    long long present = 1;
    if (!number("serial", 0, 4294967295LL, false, state.serial) ||
        !number("code", kInt32Min, kInt32Max, false, state.code) ||
        !number("balance", kInt32Min, kInt32Max, false, state.balance) ||
        !number("fourth", kInt32Min, kInt32Max, false, state.fourth) ||
        !number("present", 0, 1, false, present) ||
        !number("card_state", kInt32Min, kInt32Max, false, state.cardState) ||
        !number("delay_ms", 0, 60000, true, state.delayMs))
        return std::nullopt;
    state.present = present == 1;

    auto key = values.find("reader_key");
    if (key == values.end()) {
        error = "missing reader_key";
        return std::nullopt;
    }
    if (!KeyBytes(key->second)) {
        error = where("reader_key") + "reader_key: not 24 hexadecimal digits: '" + key->second + "'";
        return std::nullopt;
    }
    state.readerKey = key->second;

    return state;
}

std::string FormatState(const CardState& state) {
    std::ostringstream out;
    out << "# Simulated one-card reader: the card lying on it and the reader's own key.\n"
           "# serial: card serial number (0..4294967295); code: card code, used by Decrease;\n"
           "# balance: purse in hundredths; fourth: counts the deductions;\n"
           "# present: 1 a card lies on the reader, 0 none; reader_key: 24 hex digits that\n"
           "# WT_init must be given; card_state: the card system's answer (2 or more:\n"
           "# unusable); delay_ms: pause per call, imitating the serial line.\n"
        << "serial=" << state.serial << "\n"
        << "code=" << state.code << "\n"
        << "balance=" << state.balance << "\n"
        << "fourth=" << state.fourth << "\n"
        << "present=" << (state.present ? 1 : 0) << "\n"
        << "reader_key=" << state.readerKey << "\n"
        << "card_state=" << state.cardState << "\n"
        << "delay_ms=" << state.delayMs << "\n";
    return out.str();
}

namespace {

std::int32_t CheckCard(const Session& session, const CardState& state) {
    if (!session.open) return kNotOpen;
    if (!state.present) return kNoCard;
    // The reader authenticates against the card sector with the key it was
    // opened with; a key that is not the reader's fails like a real reader.
    const auto own = KeyBytes(state.readerKey);
    if (!own || *own != session.key) return kAuthFailed;
    return kOk;
}

}  // namespace

std::int32_t Read(const Session& session, const CardState& state, std::int32_t values[4]) {
    const std::int32_t result = CheckCard(session, state);
    if (result != kOk) return result;
    values[0] = static_cast<std::int32_t>(state.serial);
    values[1] = state.code;
    values[2] = state.balance;
    values[3] = state.fourth;
    return kOk;
}

std::int32_t Decrease(const Session& session, CardState& state, std::int32_t code, std::int32_t amount) {
    const std::int32_t result = CheckCard(session, state);
    if (result != kOk) return result;
    if (code != state.code) return kWrongCard;
    if (amount < 0) return kBadAmount;
    if (amount > state.balance) return kInsufficient;
    state.balance -= amount;
    // The count wraps like the card's own 32-bit field instead of overflowing.
    state.fourth = static_cast<std::int32_t>(static_cast<std::uint32_t>(state.fourth) + 1u);
    return kOk;
}

const char* ResultText(std::int32_t result) {
    switch (result) {
        case kOk: return "ok";
        case kNoCard: return "no card on the reader";
        case kNotOpen: return "reader not opened (WT_init)";
        case kAuthFailed: return "key does not match the reader's";
        case kWrongCard: return "card code is not the card's";
        case kBadAmount: return "negative amount";
        case kInsufficient: return "amount above the balance";
        case kBadStateFile: return "state file unusable";
        default: return "unknown";
    }
}

}  // namespace ykt::sim
