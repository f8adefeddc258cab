#include <gtest/gtest.h>

#include <string>

#include "core/card/ReaderParams.h"
#include "core/card/Secrets.h"

using namespace ykt;

namespace {

std::string Hex(const KeyBlock& key) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : key) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace

// Pairs of characters, high half first, twelve bytes and the zero terminator.
TEST(HexKeyToBytes, ConvertsPairsByTheCharacterRule) {
    const struct {
        std::string key;
        const char* bytes;  // the 13-byte block as hexadecimal
        const char* why;
    } cases[] = {
        {"5A3C96E1B74D2F08C5A17E39", "5A3C96E1B74D2F08C5A17E3900", "pairs, high half first"},
        {"1F0000000000000000000000", "1F000000000000000000000000", "the first pair is the first byte"},
        {"0000000000000000000000F1", "0000000000000000000000F100", "the last pair is the twelfth"},
        {"000000000000000000000000", "00000000000000000000000000", "twelve zero bytes and the terminator"},
        // 'a' is at or above 'A': 97 - 65 + 10 = 42, so "aa" is 42 * 16 + 42 = 714, modulo 256 = 202.
        {"aa0000000000000000000000", "CA000000000000000000000000", "lower case by its code"},
        // ' ' is below 'A': 32 - 48 = -16; "  " is -16 * 16 - 16 = -272, modulo 256 = 240.
        {"  0000000000000000000000", "F0000000000000000000000000", "a space by its code"},
        // 'G' counts as 16: "G0" is 256, modulo 256 = 0.
        {"G00000000000000000000000", "00000000000000000000000000", "G counts as 16"},
        // Bytes above 127 count as unsigned codes: 0xFF is 255 - 65 + 10 = 200; 200 * 16 = 3200, modulo 256 = 128.
        {"\xff" "00000000000000000000000", "80000000000000000000000000", "bytes above 127 unsigned"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(HexKeyToBytes(c.key)), c.bytes) << c.why << ": \"" << c.key << '"';
}

TEST(HexKeyToBytes, RefusesAnyOtherLength) {
    for (const std::string key : {"00000000000000000000000", "0000000000000000000000000", ""})
        EXPECT_THROW(HexKeyToBytes(key), std::invalid_argument) << key.size() << " characters";
}

namespace ykt {
namespace {

// The key and the password are wiped when an operation ends: what the guard
// was given reads as zeros afterwards, heap-held text and key bytes alike.
TEST(Secrets, WipedOnExitZeroesWhatItWasGiven) {
    std::string password = "a password long enough to live on the heap, not in the string";
    std::string shortText = "5A3C";
    KeyBlock key = HexKeyToBytes(kDefaultKey);
    {
        WipedOnExit wiped;
        wiped.Text(password);
        wiped.Text(shortText);
        wiped.Bytes(key.data(), key.size());
    }
    EXPECT_EQ(password, std::string(password.size(), '\0')) << password;
    EXPECT_EQ(shortText, std::string(4, '\0')) << shortText;
    for (std::size_t i = 0; i < key.size(); ++i) EXPECT_EQ(key[i], 0) << "key byte " << i;
}

}  // namespace
}  // namespace ykt
