// What one reader connection is opened with, and the conversion of the stored
// communication key into the bytes the reader library expects.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/settings/SettingsStore.h"

namespace ykt {

constexpr std::size_t kKeyByteCount = 12;

// Twelve key bytes followed by one zero byte: the reader library receives the
// address of this block.
using KeyBlock = std::array<std::uint8_t, kKeyByteCount + 1>;

struct ReaderParams {
    std::int32_t port = 0;    // 0-based: 0 is COM1
    std::int32_t rate = 0;    // baud rate
    std::int32_t sector = 0;  // card sector
    KeyBlock key{};
};

// Pairs of characters, high half first. A character at or above 'A' counts as
// its code - 'A' + 10, any other as its code - '0'; each byte is taken modulo
// 256. No validation beyond that: lower-case letters do not count as hex digits
// (the dialog only stores upper case). The text must hold 24 characters.
KeyBlock HexKeyToBytes(std::string_view keyText);

}  // namespace ykt
