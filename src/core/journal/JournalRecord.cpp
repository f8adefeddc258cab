#include "core/journal/JournalRecord.h"

#include <cstdio>

#include "core/settings/SettingsRules.h"
#include "core/settings/SettingsStore.h"

namespace ykt::journal {

namespace {

constexpr const char* kEventNames[] = {"start", "finish", "stop", "settings"};
constexpr const char* kOutcomeNames[] = {"", "charged", "refused", "unconfirmed", "stopped"};
constexpr const char* kStopNames[] = {"bad_key", "no_card", "not_a_number", "no_output", "fault", "wrong_card"};

bool IsPlain(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '%'; }

std::string OptionalNumber(const std::optional<std::int32_t>& value) {
    return value ? std::to_string(*value) : std::string();
}

}  // namespace

std::string MonthFileName(int year, int month) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d-%02d.csv", year, month);
    return name;
}

const char* EventName(Event event) { return kEventNames[static_cast<int>(event)]; }
const char* OutcomeName(Outcome outcome) { return kOutcomeNames[static_cast<int>(outcome)]; }
const char* StopReasonName(StopReason reason) { return kStopNames[static_cast<int>(reason)]; }

std::string TimestampText(const Timestamp& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

std::string DecreaseResultText(std::int32_t result) { return std::to_string(result); }

std::string DecreaseFaultText(unsigned long code) {
    char text[32];
    std::snprintf(text, sizeof text, "fault %08lX", code & 0xFFFFFFFFul);
    return text;
}

std::string EscapeField(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    bool quote = false;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsPlain(c)) {
            if (c == ',' || c == '"') quote = true;
            out += ch;
            if (c == '"') out += '"';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    // Excel would take a text beginning with these for a formula.
    if (!out.empty() && (out[0] == '=' || out[0] == '+' || out[0] == '@')) {
        const auto c = static_cast<unsigned char>(out[0]);
        out = std::string{'%', hex[c >> 4], hex[c & 15]} + out.substr(1);
    }
    return quote ? '"' + out + '"' : out;
}

std::string FormatRecord(const Record& r) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "%lu,%016llX", static_cast<unsigned long>(r.pid),
                  static_cast<unsigned long long>(r.call));
    std::string line = TimestampText(r.time);
    line += ',';
    line += ids;
    for (const std::string& field :
         {std::string(EventName(r.event)), EscapeField(r.mode), OptionalNumber(r.cardCode),
          EscapeField(r.cardNumber.substr(0, kCardNumberKept)), OptionalNumber(r.amount), EscapeField(r.decrease),
          OptionalNumber(r.result), EscapeField(r.balance), std::string(OutcomeName(r.outcome)),
          EscapeField(r.detail)}) {
        line += ',';
        line += field;
    }
    line += "\r\n";
    return line;
}

bool IsSecretSetting(std::string_view name) { return name == setting::kKey || name == setting::kDbPass; }

std::string SettingsSavedDetail(std::string_view user,
                                const std::vector<std::pair<const char*, std::string>>& written) {
    std::string detail = "user=";
    detail += user;
    for (const auto& [name, value] : written) {
        detail += ';';
        detail += name;
        if (!IsSecretSetting(name)) {
            detail += '=';
            detail += value;
        }
    }
    return detail;
}

}  // namespace ykt::journal
