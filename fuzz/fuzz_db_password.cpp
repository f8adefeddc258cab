// The password scrambling against a decoder written from the rule itself,
// and the round trip for every byte string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/settings/DbPassword.h"

namespace {

// Groups of four digits, each worth its value halved, in base 4, cut to a byte.
bool ReferenceDecode(const std::string& text, std::string& out) {
    out.clear();
    if (text.size() % 4 != 0) return true;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        unsigned value = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const unsigned char c = static_cast<unsigned char>(text[i + j]);
            if (c < '0' || c > '9') return false;
            value += ((c - '0') / 2) << (2 * (3 - j));
        }
        out.push_back(static_cast<char>(value % 256));
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const std::string encoded = ykt::EncodeDbPassword(input);
    if (encoded.size() != 4 * input.size()) std::abort();
    if (encoded.find_first_not_of("0347") != std::string::npos) std::abort();
    const std::optional<std::string> back = ykt::DecodeDbPassword(encoded);
    if (!back || *back != input) std::abort();

    std::string expected;
    const bool decodable = ReferenceDecode(input, expected);
    const std::optional<std::string> decoded = ykt::DecodeDbPassword(input);
    if (decoded.has_value() != decodable) std::abort();
    if (decoded && *decoded != expected) std::abort();
    return 0;
}
