#include "core/settings/DbPassword.h"

namespace ykt {

std::string EncodeDbPassword(std::string_view plain) {
    static const char kDigits[4] = {'0', '3', '4', '7'};
    std::string out;
    out.reserve(plain.size() * 4);
    for (const char c : plain) {
        const unsigned byte = static_cast<unsigned char>(c);
        for (int shift = 6; shift >= 0; shift -= 2) out.push_back(kDigits[(byte >> shift) & 3]);
    }
    return out;
}

std::optional<std::string> DecodeDbPassword(std::string_view scrambled) {
    if (scrambled.size() % 4 != 0) return std::string();
    std::string out;
    out.reserve(scrambled.size() / 4);
    for (std::size_t group = 0; group < scrambled.size(); group += 4) {
        // Digits 8 and 9 give 4, which carries into the next position before
        // the value is cut to eight bits; stored texts may rely on that.
        unsigned value = 0;
        for (std::size_t i = group; i < group + 4; ++i) {
            const char c = scrambled[i];
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 4 + static_cast<unsigned>(c - '0') / 2;
        }
        out.push_back(static_cast<char>(value & 0xFF));
    }
    return out;
}

}  // namespace ykt
