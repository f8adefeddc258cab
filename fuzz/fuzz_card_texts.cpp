// Card-number and balance texts against references: printf for the card
// numbers, and for the balance the character rule hosts have always seen
// (pad the part before the comma to three characters, put the point before
// its last two) for balances of 0 and above; below 0 the sign stands in
// front of the units.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/card/CardTexts.h"

namespace {

std::string CharacterRule(std::int32_t balance, std::int32_t fourth) {
    std::string s = std::to_string(balance) + "," + std::to_string(fourth);
    std::size_t p = s.find(',') + 1;  // counted from 1
    if (p == 2) s = "00" + s;
    if (p == 3) s = "0" + s;
    p = s.find(',') + 1;
    return s.substr(0, p - 3) + "." + s.substr(p - 3);
}

std::string Printf(std::int32_t balance, std::int32_t fourth) {
    const std::int64_t b = balance;
    const std::int64_t magnitude = b < 0 ? -b : b;
    char text[64];
    std::snprintf(text, sizeof text, "%s%" PRId64 ".%02" PRId64 ",%" PRId32, b < 0 ? "-" : "", magnitude / 100,
                  magnitude % 100, fourth);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 17) return 0;
    std::uint32_t serial, code;
    std::int32_t balance, fourth;
    std::memcpy(&serial, data, 4);
    std::memcpy(&code, data + 4, 4);
    std::memcpy(&balance, data + 8, 4);
    std::memcpy(&fourth, data + 12, 4);
    const bool serialMode = data[16] & 1;

    char expected[32];
    if (serialMode)
        std::snprintf(expected, sizeof expected, "%010" PRIu32, serial);
    else
        std::snprintf(expected, sizeof expected, "%09" PRIu32, code % 1000000000u);
    if (ykt::CardNumberText(serialMode, serial, code) != expected) std::abort();

    const std::string text = ykt::BalanceText(balance, fourth);
    if (text != Printf(balance, fourth)) std::abort();
    if (balance >= 0 && text != CharacterRule(balance, fourth)) std::abort();
    return 0;
}
