// Trimming and number parsing against references built another way: the
// trimmed text by searching for the first and last byte above 32, numbers by
// comparing digit strings with the limits instead of accumulating.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/settings/SettingsRules.h"

namespace {

std::string ReferenceTrim(const std::string& text) {
    std::size_t first = std::string::npos, last = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) > 32) {
            if (first == std::string::npos) first = i;
            last = i;
        }
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Optional sign, then digits only; in range of a signed 32-bit integer.
bool ReferenceParse(const std::string& text, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string digits = text.substr(i);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    const std::string limit = negative ? "2147483648" : "2147483647";
    if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit)) return false;
    value = std::strtoll(digits.c_str(), nullptr, 10) * (negative ? -1 : 1);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const std::string trimmed = ykt::Trim(input);
    if (trimmed != ReferenceTrim(input)) std::abort();

    std::int64_t expected = 0;
    const bool parses = ReferenceParse(input, expected);
    const std::optional<std::int32_t> parsed = ykt::ParseInt32(input);
    if (parsed.has_value() != parses) std::abort();
    if (parsed && *parsed != expected) std::abort();

    // The store's rule: "0" in front, so no sign is ever accepted.
    std::int64_t prefixed = 0;
    const std::int32_t number = ykt::LibNumberFromText(trimmed);
    if (!ReferenceParse("0" + trimmed, prefixed)) prefixed = 0;
    if (number != prefixed) std::abort();
    if (number < 0) std::abort();

    if (ykt::IsFlagOn(trimmed) != (trimmed == "1")) std::abort();
    return 0;
}
