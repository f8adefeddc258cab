// Scrambling of the stored card-system database password: every byte becomes
// four decimal digits. It keeps the password from being read at a glance; it
// is not encryption.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ykt {

// Each byte, high bits first, in four 2-bit groups: 0->"0", 1->"3", 2->"4", 3->"7".
std::string EncodeDbPassword(std::string_view plain);

// A length that is not a multiple of four decodes to empty text. A character
// that is not a decimal digit makes the whole text undecodable (nullopt).
std::optional<std::string> DecodeDbPassword(std::string_view scrambled);

}  // namespace ykt
