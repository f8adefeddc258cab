#include "core/card/CardOperations.h"

#include <exception>

#include "core/card/CardTexts.h"
#include "core/card/Secrets.h"
#include "core/settings/DbPassword.h"
#include "core/settings/SettingsRules.h"

namespace ykt {

namespace {

ReaderParams GatherNumbers(SettingsSource& settings) {
    ReaderParams params;
    params.port = settings.Number(setting::kPort);
    params.rate = settings.Number(setting::kRate);
    params.sector = settings.Number(setting::kSector);
    return params;
}

bool KeyHasRightLength(const std::string& keyText) { return keyText.size() == kKeyTextLength; }

struct ConnectionOutcome {
    std::int32_t result = kFailure;
    bool closeFailed = false;
};

// Once Open has returned, Close is called exactly once, whatever the body did.
// An error inside Open itself leaves nothing to close and propagates.
template <class Body>
ConnectionOutcome WithConnection(ReaderPort& reader, const ReaderParams& params, Body&& body) {
    reader.Open(params);
    ConnectionOutcome outcome;
    try {
        outcome.result = body();
    } catch (const std::exception&) {
        outcome.result = kFailure;
    }
    try {
        reader.Close();
    } catch (const std::exception&) {
        outcome.closeFailed = true;
    }
    return outcome;
}

}  // namespace

OperationResult InitCom(SettingsSource& settings, ReaderPort& reader) {
    ReaderParams params = GatherNumbers(settings);
    std::string key;
    WipedOnExit secrets;
    secrets.Text(key);
    secrets.Bytes(params.key.data(), params.key.size());
    key = settings.Text(setting::kKey);
    if (!KeyHasRightLength(key)) return {kFailure, std::nullopt};
    params.key = HexKeyToBytes(key);
    const ConnectionOutcome outcome = WithConnection(reader, params, [] { return kSuccess; });
    // Opening and closing without an error is all this probe can say.
    return {outcome.closeFailed ? kFailure : kSuccess, std::nullopt};
}

OperationResult ReadCardNumber(SettingsSource& settings, ReaderPort& reader, bool beep) {
    ReaderParams params = GatherNumbers(settings);
    const std::string dbStatus = settings.Text(setting::kDbStatus);
    CardStateQuery query;
    std::string storedPassword, key;
    // Declared after what it wipes, so that it runs before they are freed.
    WipedOnExit secrets;
    secrets.Text(query.password);
    secrets.Text(storedPassword);
    secrets.Text(key);
    secrets.Bytes(params.key.data(), params.key.size());
    query.server = settings.Text(setting::kDbIpAddr);
    query.database = settings.Text(setting::kDbName);
    query.user = settings.Text(setting::kDbUser);
    // Read like every value, but decoded only for the state check that uses
    // it. A garbled stored password only matters to that check; it must not
    // stop every card read at the till, so it counts as empty.
    storedPassword = settings.Text(setting::kDbPass);
    if (IsFlagOn(dbStatus)) query.password = DecodeDbPassword(storedPassword).value_or(std::string());
    const bool serialMode = IsFlagOn(settings.Text(setting::kCodeOrNo));
    key = settings.Text(setting::kKey);
    if (!KeyHasRightLength(key)) return {kFailure, std::nullopt};
    params.key = HexKeyToBytes(key);

    OperationResult result;
    const ConnectionOutcome outcome = WithConnection(reader, params, [&]() -> std::int32_t {
        CardData card;
        const std::int32_t read = beep ? reader.ReadBeep(card) : reader.ReadNoBeep(card);
        if (read != 1) return kFailure;
        query.cardNumber = CardNumberText(serialMode, static_cast<std::uint32_t>(card.serial),
                                          static_cast<std::uint32_t>(card.code));
        result.output = query.cardNumber;

        std::int32_t state = 0;
        if (IsFlagOn(dbStatus)) {
            try {
                state = reader.CardState(query);
            } catch (const std::exception&) {
                state = 0;  // an unreachable card system does not block the customer
            }
        }
        return state <= 1 ? kSuccess : kCardUnusable;
    });
    // The card was read (or not) before the closing error: the result stands.
    result.code = outcome.result;
    if (result.code == kFailure) result.output.reset();
    return result;
}

OperationResult DeductFromCard(SettingsSource& settings, ReaderPort& reader, std::string_view cardNumber,
                               std::int32_t amount, DeductionTrace* trace) {
    DeductionTrace ignored;
    DeductionTrace& seen = trace ? *trace : ignored;
    OperationResult result{kFailure, std::string(kNoBalanceText)};
    ReaderParams params = GatherNumbers(settings);
    std::string key;
    WipedOnExit secrets;
    secrets.Text(key);
    secrets.Bytes(params.key.data(), params.key.size());
    key = settings.Text(setting::kKey);
    if (!KeyHasRightLength(key)) {
        seen.stop = journal::StopReason::kBadKey;
        return result;
    }
    const bool serialMode = IsFlagOn(settings.Text(setting::kCodeOrNo));
    seen.serialMode = serialMode;
    params.key = HexKeyToBytes(key);

    const ConnectionOutcome outcome = WithConnection(reader, params, [&]() -> std::int32_t {
        std::int32_t code = 0;
        if (serialMode) {
            // The host's number is a serial number; the reader knows the code.
            CardData card;
            if (reader.ReadNoBeep(card) != 1) {
                seen.stop = journal::StopReason::kNoCard;
                return kFailure;
            }
            // A customer may have swapped cards since the host read the number.
            // Only a number in the form a serial-mode read gives can be
            // compared: hosts that pass nothing, or something else, charge the
            // card on the reader as they always have.
            if (IsSerialNumberText(cardNumber) &&
                cardNumber != CardNumberText(true, static_cast<std::uint32_t>(card.serial),
                                             static_cast<std::uint32_t>(card.code))) {
                seen.stop = journal::StopReason::kWrongCard;
                return kFailure;
            }
            code = card.code;
        } else {
            const std::optional<std::int32_t> parsed = ParseInt32(cardNumber);
            if (!parsed) {
                seen.stop = journal::StopReason::kNotANumber;
                return kFailure;
            }
            code = *parsed;
        }
        if (reader.Decrease(code, amount) != 1) return kFailure;

        // The money is gone from the card now: nothing below may turn the
        // result into a failure, or the host would charge again.
        try {
            CardData card;
            if (reader.ReadBeep(card) == 1) result.output = BalanceText(card.balance, card.fourth);
        } catch (const std::exception&) {
        }
        return kSuccess;
    });
    result.code = outcome.result;
    return result;
}

}  // namespace ykt
