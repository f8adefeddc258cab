#include "core/settings/SettingsRules.h"

#include <exception>

#include "core/settings/SettingsStore.h"

namespace ykt {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string Trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulate as a negative number so that INT32_MIN fits.
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 - (c - '0');
        if (value < INT32_MIN) return std::nullopt;
    }
    if (!negative) {
        value = -value;
        if (value > INT32_MAX) return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t LibNumberFromText(std::string_view trimmedText) {
    std::string prefixed = "0";
    prefixed.append(trimmedText);
    return ParseInt32(prefixed).value_or(0);
}

bool IsFlagOn(std::string_view trimmedText) { return trimmedText == "1"; }

std::int32_t SettingsSource::Number(const char* name) {
    try {
        return LibNumberFromText(Text(name));
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace ykt
