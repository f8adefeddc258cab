#include "core/settings/SettingsRules.h"

#include <charconv>
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

std::optional<std::int64_t> ParseInt64(std::string_view text) {
    // from_chars takes a minus sign but no plus; "+-1" must not slip through.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    std::int64_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    const std::optional<std::int64_t> value = ParseInt64(text);
    if (!value || *value < INT32_MIN || *value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(*value);
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
