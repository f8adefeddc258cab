#include "core/card/ReaderParams.h"

#include <stdexcept>

namespace ykt {

namespace {
int HalfValue(char c) {
    const int code = static_cast<unsigned char>(c);
    return code >= 'A' ? code - 'A' + 10 : code - '0';
}
}  // namespace

KeyBlock HexKeyToBytes(std::string_view keyText) {
    if (keyText.size() != kKeyTextLength) throw std::invalid_argument("key text must hold 24 characters");
    KeyBlock block{};
    for (std::size_t i = 0; i < kKeyByteCount; ++i) {
        const int value = HalfValue(keyText[2 * i]) * 16 + HalfValue(keyText[2 * i + 1]);
        block[i] = static_cast<std::uint8_t>(value & 0xFF);
    }
    block[kKeyByteCount] = 0;
    return block;
}

}  // namespace ykt
