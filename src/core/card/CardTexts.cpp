#include "core/card/CardTexts.h"

namespace ykt {

namespace {
std::string LastDigits(std::uint32_t value, std::size_t width) {
    std::string text = std::string(width, '0') + std::to_string(value);
    return text.substr(text.size() - width);
}
}  // namespace

std::string CardNumberText(bool serialMode, std::uint32_t serial, std::uint32_t code) {
    return serialMode ? LastDigits(serial, 10) : LastDigits(code, 9);
}

std::string BalanceText(std::int32_t balance, std::int32_t fourth) {
    const std::int64_t wide = balance;
    const std::int64_t magnitude = wide < 0 ? -wide : wide;
    const std::int64_t cents = magnitude % 100;
    std::string text = wide < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    text += cents < 10 ? ".0" : ".";
    text += std::to_string(cents);
    text += ",";
    text += std::to_string(fourth);
    return text;
}

}  // namespace ykt
