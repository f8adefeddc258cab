// The simulated reader's rules, without Windows: the card lying on the reader
// and the reader's own settings as a small key=value text, and what the
// reader answers to an open, a read and a deduction. The DLL shells
// (irdll_sim.cpp, bcidll_sim.cpp) only move this state to and from the state
// file and hand the answers on.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/settings/SettingsStore.h"

namespace ykt::sim {

struct CardState {
    std::uint32_t serial = 3052741689u;            // 卡序号
    std::int32_t code = 12;                        // 卡编号, addresses the card in Decrease
    std::int32_t balance = 10000;                  // purse, in hundredths
    std::int32_t fourth = 0;                       // counts the deductions
    bool present = true;                           // a card lies on the reader
    std::string readerKey = kDefaultKey;  // the reader's communication key, 24 hex digits
    std::int32_t cardState = 0;                    // what the card system says: 2 or more is unusable
    std::int32_t delayMs = 0;                      // imitated serial round trip per call
};

// Parses a whole state file. On failure returns nothing and describes the
// first problem in `error` ("line 3: balance: not a whole number: 'abc'").
// Lines are key=value, blanks around both are ignored, '#' starts a comment
// line, empty lines are skipped. Every key but delay_ms is required; unknown
// and repeated keys are errors, so a typo never passes silently.
std::optional<CardState> ParseState(const std::string& text, std::string& error);

// The file text for a state; ParseState(FormatState(s)) gives s back.
std::string FormatState(const CardState& state);

// What WT_init handed over. Reads and deductions need an open session whose
// key matches the reader's own.
struct Session {
    bool open = false;
    std::int32_t port = 0;
    std::int32_t rate = 0;
    std::int32_t sector = 0;
    std::array<unsigned char, kKeyTextLength / 2> key{};
};

// Results of the reader functions: 1 is the only success.
enum Result : std::int32_t {
    kOk = 1,
    kNoCard = 0,
    kNotOpen = -1,       // no WT_init before, or WT_exit since
    kAuthFailed = -2,    // the key handed to WT_init is not the reader's
    kWrongCard = -3,     // Decrease for a code that is not the card's
    kBadAmount = -4,     // negative amount
    kInsufficient = -5,  // amount above the balance
    kBadStateFile = -6,  // the state file could not be read or written
};

// The 12 bytes of a 24-digit hexadecimal key; nothing when it is not one.
std::optional<std::array<unsigned char, kKeyTextLength / 2>> KeyBytes(const std::string& hex);

// Fills serial, code, balance and fourth value when the card can be read.
std::int32_t Read(const Session& session, const CardState& state, std::int32_t values[4]);

// Deducts amount from the card with this code. On kOk the state carries the
// new balance and the counted-up fourth value and must be stored before the
// success is reported.
std::int32_t Decrease(const Session& session, CardState& state, std::int32_t code, std::int32_t amount);

// A short text for a result, for the simulator's messages.
const char* ResultText(std::int32_t result);

}  // namespace ykt::sim
