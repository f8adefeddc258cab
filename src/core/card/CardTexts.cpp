#include "core/card/CardTexts.h"

namespace ykt {

namespace {
constexpr std::size_t kSerialDigits = 10;
constexpr std::size_t kCodeDigits = 9;

std::string LastDigits(std::uint32_t value, std::size_t width) {
    std::string text = std::string(width, '0') + std::to_string(value);
    return text.substr(text.size() - width);
}
}  // namespace

std::string CardNumberText(bool serialMode, std::uint32_t serial, std::uint32_t code) {
    return serialMode ? LastDigits(serial, kSerialDigits) : LastDigits(code, kCodeDigits);
}

bool IsSerialNumberText(std::string_view text) {
    if (text.size() != kSerialDigits) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string MoneyText(std::int64_t hundredths) {
    // Unsigned, so that the most negative value has a magnitude too.
    const bool negative = hundredths < 0;
    const std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(-(hundredths + 1)) + 1 : static_cast<std::uint64_t>(hundredths);
    const std::uint64_t cents = magnitude % 100;
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 100);
    text += cents < 10 ? ".0" : ".";
    text += std::to_string(cents);
    return text;
}

std::string BalanceText(std::int32_t balance, std::int32_t fourth) {
    return MoneyText(balance) + "," + std::to_string(fourth);
}

}  // namespace ykt
