// The texts the card operations hand back to the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ykt {

// Ten digits of the serial number (serial mode) or nine of the card code,
// both taken as unsigned 32-bit values; longer numbers keep their last digits.
std::string CardNumberText(bool serialMode, std::uint32_t serial, std::uint32_t code);

// Whether a host's card number has the form of a serial-mode read: exactly
// ten decimal digits, nothing around them.
bool IsSerialNumberText(std::string_view text);

// Hundredths as units, a point and two digits: 250 gives "2.50", -5 gives "-0.05".
std::string MoneyText(std::int64_t hundredths);

// Balance in hundredths as units, a point and two digits, then a comma and
// the fourth value: 345 and 7 give "3.45,7". A negative balance carries its
// sign in front of the units ("-0.05").
std::string BalanceText(std::int32_t balance, std::int32_t fourth);

// The balance text a deduction reports when no balance could be read.
inline constexpr const char* kNoBalanceText = "0,0";

}  // namespace ykt
