// Text and number rules shared by the card operations and the settings dialog.
// Portable: no Windows headers, so the rules are tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ykt {

// Removes every character with a code of 32 or below (space and control
// characters) from both ends. Bytes above 127 (code page 936 lead bytes) stay.
std::string Trim(std::string_view text);

// Strict signed decimal conversion: an optional sign, then at least one
// digit, nothing else; out-of-range values are rejected.
std::optional<std::int32_t> ParseInt32(std::string_view text);
std::optional<std::int64_t> ParseInt64(std::string_view text);

// The card operations' number rule: "0" is put in front of the trimmed text,
// so empty text reads 0 and a sign or a letter makes the whole value 0.
std::int32_t LibNumberFromText(std::string_view trimmedText);

// Exact comparison of a trimmed flag value with "1"; everything else is off.
bool IsFlagOn(std::string_view trimmedText);

}  // namespace ykt
