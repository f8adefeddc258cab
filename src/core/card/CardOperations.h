// The step sequence of every card operation, written against two abstractions:
// where the settings come from and how the reader is driven. The Windows shell
// supplies the registry and the vendor libraries; tests supply fakes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/card/ReaderParams.h"
#include "core/journal/JournalRecord.h"
#include "core/settings/SettingsStore.h"

namespace ykt {

enum ResultCode : std::int32_t { kSuccess = 0, kFailure = 1, kCardUnusable = -1 };

struct CardData {
    std::int32_t serial = 0;
    std::int32_t code = 0;
    std::int32_t balance = 0;
    std::int32_t fourth = 0;
};

struct CardStateQuery {
    std::string server;
    std::string user;
    std::string password;
    std::string database;
    std::string cardNumber;
};

// The reader library and the card-state service as the operations call them.
// A fault inside either surfaces as an exception thrown by these members.
class ReaderPort {
public:
    virtual ~ReaderPort() = default;
    virtual void Open(const ReaderParams& params) = 0;  // WT_init, result ignored
    virtual void Close() = 0;                           // WT_exit
    virtual std::int32_t ReadNoBeep(CardData& card) = 0;
    virtual std::int32_t ReadBeep(CardData& card) = 0;
    virtual std::int32_t Decrease(std::int32_t code, std::int32_t amount) = 0;
    virtual std::int32_t CardState(const CardStateQuery& query) = 0;
};

struct OperationResult {
    std::int32_t code = kFailure;
    // Text for the host's output string; nullopt leaves the host's variable untouched.
    std::optional<std::string> output;
};

// Opens and closes the reader with the stored settings: 0 when the key has
// the right length and neither opening nor closing raised an error.
OperationResult InitCom(SettingsSource& settings, ReaderPort& reader);

// Reads the card number (with or without the reader's beep) and, when the
// card-state check is on, asks the card-state service: 0, -1 or 1.
OperationResult ReadCardNumber(SettingsSource& settings, ReaderPort& reader, bool beep);

// What a deduction went through, for its record in the journal: the mode as
// soon as it is known (before Decrease is called), and where it stopped when
// it ended before Decrease for a reason of its own. An error ending it before
// Decrease leaves `stop` empty.
struct DeductionTrace {
    std::optional<bool> serialMode;
    std::optional<journal::StopReason> stop;
};

// Deducts amount from the card's purse; the output is the balance text, or
// "0,0" when no balance could be read. 0 always means the deduction happened.
OperationResult DeductFromCard(SettingsSource& settings, ReaderPort& reader, std::string_view cardNumber,
                               std::int32_t amount, DeductionTrace* trace = nullptr);

}  // namespace ykt
