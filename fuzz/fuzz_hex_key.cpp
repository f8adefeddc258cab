// The key conversion against the character rule, for any 24 bytes; any other
// length is refused, never read past.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "core/card/ReaderParams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string key(reinterpret_cast<const char*>(data), size);
    if (size != 24) {
        try {
            ykt::HexKeyToBytes(key);
        } catch (const std::invalid_argument&) {
            return 0;
        }
        std::abort();
    }
    const ykt::KeyBlock block = ykt::HexKeyToBytes(key);
    for (std::size_t i = 0; i < 12; ++i) {
        int half[2];
        for (int j = 0; j < 2; ++j) {
            const int c = data[2 * i + j];
            half[j] = c >= 65 ? c - 55 : c - 48;
        }
        const int value = ((half[0] * 16 + half[1]) % 256 + 256) % 256;
        if (block[i] != value) std::abort();
    }
    if (block[12] != 0) std::abort();
    return 0;
}
