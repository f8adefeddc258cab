// The step sequences of the card operations against a scripted reader: which
// calls happen in which order, and what the host gets back.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/card/CardOperations.h"

using namespace ykt;

namespace {

const char* const kKey = "5A3C96E1B74D2F08C5A17E39";

class FakeSettings : public SettingsSource {
public:
    std::map<std::string, std::string> values;
    std::set<std::string> unreadable;  // values stored under another type
    std::vector<std::string> reads;

    std::string Text(const char* name) override {
        reads.push_back(name);
        if (unreadable.count(name)) throw std::runtime_error("not a string");
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

class FakeReader : public ReaderPort {
public:
    std::vector<std::string> calls;
    std::set<std::string> faulting;
    std::map<std::string, std::int32_t> results{
        {"ReadNoBeep", 1}, {"ReadBeep", 1}, {"Decrease", 1}, {"CardState", 0}};
    CardData card{1001, 12, 345, 7};
    ReaderParams opened;
    CardStateQuery query;
    std::int32_t decreasedCode = 0, decreasedAmount = 0;

    void Open(const ReaderParams& params) override {
        Call("Open");
        opened = params;
    }
    void Close() override { Call("Close"); }
    std::int32_t ReadNoBeep(CardData& out) override { return Read("ReadNoBeep", out); }
    std::int32_t ReadBeep(CardData& out) override { return Read("ReadBeep", out); }
    std::int32_t Decrease(std::int32_t code, std::int32_t amount) override {
        Call("Decrease");
        decreasedCode = code;
        decreasedAmount = amount;
        return results["Decrease"];
    }
    std::int32_t CardState(const CardStateQuery& q) override {
        Call("CardState");
        query = q;
        return results["CardState"];
    }

private:
    void Call(const std::string& name) {
        calls.push_back(name);
        if (faulting.count(name)) throw std::runtime_error(name + " faulted");
    }
    std::int32_t Read(const std::string& name, CardData& out) {
        Call(name);
        if (results[name] == 1) out = card;
        return results[name];
    }
};

using Calls = std::vector<std::string>;

class Operations : public testing::Test {
protected:
    FakeSettings settings;
    FakeReader reader;
    void SetUp() override {
        settings.values = {{"YKT_PORT", "2"}, {"YKT_RATE", "9600"}, {"YKT_SECTOR", "7"}, {"YKT_KEY", kKey}};
    }
};

// ---- vbInitCom ---------------------------------------------------------------

TEST_F(Operations, InitComOpensWithTheStoredValuesAndClosesAtOnce) {
    EXPECT_EQ(InitCom(settings, reader).code, kSuccess);
    EXPECT_EQ(reader.calls, (Calls{"Open", "Close"}));
    EXPECT_EQ(reader.opened.port, 2);
    EXPECT_EQ(reader.opened.rate, 9600);
    EXPECT_EQ(reader.opened.sector, 7);
    EXPECT_EQ(reader.opened.key[0], 0x5A);
    EXPECT_EQ(reader.opened.key[12], 0);
    EXPECT_EQ(settings.reads, (std::vector<std::string>{"YKT_PORT", "YKT_RATE", "YKT_SECTOR", "YKT_KEY"}));
}

TEST_F(Operations, KeyOfWrongLengthNeverReachesTheReader) {
    for (const std::string key : {"", "5A3C96E1B74D2F08C5A17E3", "5A3C96E1B74D2F08C5A17E390"}) {
        settings.values["YKT_KEY"] = key;
        EXPECT_EQ(InitCom(settings, reader).code, kFailure) << key;
        EXPECT_EQ(ReadCardNumber(settings, reader, false).code, kFailure) << key;
        const OperationResult deducted = DeductFromCard(settings, reader, "12", 100);
        EXPECT_EQ(deducted.code, kFailure);
        EXPECT_EQ(deducted.output, "0,0");
    }
    EXPECT_TRUE(reader.calls.empty());
}

TEST_F(Operations, MalformedNumbersOpenWithZero) {
    settings.values["YKT_PORT"] = "-1";
    settings.values["YKT_RATE"] = "9600a";
    settings.unreadable.insert("YKT_SECTOR");
    EXPECT_EQ(InitCom(settings, reader).code, kSuccess);
    EXPECT_EQ(reader.opened.port, 0);
    EXPECT_EQ(reader.opened.rate, 0);
    EXPECT_EQ(reader.opened.sector, 0);
}

TEST_F(Operations, FaultInsideOpenLeavesNothingToClose) {
    reader.faulting.insert("Open");
    EXPECT_THROW(InitCom(settings, reader), std::runtime_error);
    EXPECT_THROW(ReadCardNumber(settings, reader, false), std::runtime_error);
    EXPECT_THROW(DeductFromCard(settings, reader, "12", 1), std::runtime_error);
    EXPECT_EQ(reader.calls, (Calls{"Open", "Open", "Open"}));
}

TEST_F(Operations, FaultInsideCloseFailsTheProbeOnly) {
    reader.faulting.insert("Close");
    EXPECT_EQ(InitCom(settings, reader).code, kFailure);
    // The card was read, the money was taken: the closing error changes neither.
    EXPECT_EQ(ReadCardNumber(settings, reader, false).code, kSuccess);
    EXPECT_EQ(DeductFromCard(settings, reader, "12", 1).code, kSuccess);
}

TEST_F(Operations, UnreadableKeyPropagatesWithoutOpening) {
    settings.unreadable.insert("YKT_KEY");
    EXPECT_THROW(InitCom(settings, reader), std::runtime_error);
    EXPECT_TRUE(reader.calls.empty());
}

// ---- card-number reads ----------------------------------------------------------

TEST_F(Operations, ReadReadsTheSettingsInOrder) {
    ReadCardNumber(settings, reader, false);
    EXPECT_EQ(settings.reads, (std::vector<std::string>{"YKT_PORT", "YKT_RATE", "YKT_SECTOR", "YKT_DBSATAUS",
                                                        "YKT_DBIPADDR", "YKT_DBNAME", "YKT_DBUSER", "YKT_DBPASS",
                                                        "YKT_CODEORNO", "YKT_KEY"}));
}

TEST_F(Operations, ReadUsesTheBeepOrTheSilentFunction) {
    ReadCardNumber(settings, reader, false);
    ReadCardNumber(settings, reader, true);
    EXPECT_EQ(reader.calls, (Calls{"Open", "ReadNoBeep", "Close", "Open", "ReadBeep", "Close"}));
}

TEST_F(Operations, ReadGivesCardCodeOrSerialNumber) {
    reader.card.serial = 12;
    reader.card.code = 1234567890;
    EXPECT_EQ(ReadCardNumber(settings, reader, false).output, "234567890");
    settings.values["YKT_CODEORNO"] = "1";  // trimmed by the store
    EXPECT_EQ(ReadCardNumber(settings, reader, false).output, "0000000012");
}

struct ReadCase {
    const char* name;
    const char* dbStatus;
    std::int32_t readResult;
    const char* faulting;
    std::int32_t stateResult;
    std::int32_t expectedCode;
    bool delivered;
    Calls calls;
};

class ReadFailures : public Operations, public testing::WithParamInterface<ReadCase> {};

TEST_P(ReadFailures, EndsWithTheRightCodeAndOutput) {
    const ReadCase& c = GetParam();
    settings.values["YKT_DBSATAUS"] = c.dbStatus;
    reader.results["ReadNoBeep"] = c.readResult;
    reader.results["CardState"] = c.stateResult;
    if (*c.faulting) reader.faulting.insert(c.faulting);
    const OperationResult result = ReadCardNumber(settings, reader, false);
    EXPECT_EQ(result.code, c.expectedCode);
    EXPECT_EQ(result.output.has_value(), c.delivered);
    if (c.delivered) {
        EXPECT_EQ(*result.output, "000000012");
    }
    EXPECT_EQ(reader.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadFailures,
    testing::Values(
        ReadCase{"NoCard", "1", 0, "", 0, kFailure, false, {"Open", "ReadNoBeep", "Close"}},
        ReadCase{"ReadMinusOne", "0", -1, "", 0, kFailure, false, {"Open", "ReadNoBeep", "Close"}},
        ReadCase{"ReadFaults", "1", 1, "ReadNoBeep", 0, kFailure, false, {"Open", "ReadNoBeep", "Close"}},
        ReadCase{"CheckOff", "0", 1, "", 5, kSuccess, true, {"Open", "ReadNoBeep", "Close"}},
        ReadCase{"CheckOffWhenNotExactlyOne", "11", 1, "", 5, kSuccess, true, {"Open", "ReadNoBeep", "Close"}},
        ReadCase{"Usable", "1", 1, "", 1, kSuccess, true, {"Open", "ReadNoBeep", "CardState", "Close"}},
        ReadCase{"UsableNegative", "1", 1, "", -3, kSuccess, true, {"Open", "ReadNoBeep", "CardState", "Close"}},
        ReadCase{"Unusable", "1", 1, "", 2, kCardUnusable, true, {"Open", "ReadNoBeep", "CardState", "Close"}},
        ReadCase{"ServiceFaults", "1", 1, "CardState", 9, kSuccess, true,
                 {"Open", "ReadNoBeep", "CardState", "Close"}}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST_F(Operations, StateQueryCarriesTheSettingsAndTheNewCardNumber) {
    settings.values.insert({{"YKT_DBSATAUS", "1"}, {"YKT_DBIPADDR", "10.0.0.5"}, {"YKT_DBNAME", "ykt"},
                            {"YKT_DBUSER", "sa"}, {"YKT_DBPASS", "370707073407370434333730"}  /* "s3cret" */});
    ReadCardNumber(settings, reader, false);
    EXPECT_EQ(reader.query.server, "10.0.0.5");
    EXPECT_EQ(reader.query.database, "ykt");
    EXPECT_EQ(reader.query.user, "sa");
    EXPECT_EQ(reader.query.password, "s3cret");
    EXPECT_EQ(reader.query.cardNumber, "000000012");
}

TEST_F(Operations, GarbledPasswordDoesNotStopTheRead) {
    settings.values.insert({{"YKT_DBSATAUS", "1"}, {"YKT_DBPASS", "12a4"}});
    const OperationResult result = ReadCardNumber(settings, reader, false);
    EXPECT_EQ(result.code, kSuccess);
    EXPECT_EQ(reader.query.password, "");
}

// ---- deduction ---------------------------------------------------------------------

TEST_F(Operations, DeductionInCodeModeParsesTheHostNumber) {
    const OperationResult result = DeductFromCard(settings, reader, "000000012", 250);
    EXPECT_EQ(result.code, kSuccess);
    EXPECT_EQ(result.output, "3.45,7");
    EXPECT_EQ(reader.calls, (Calls{"Open", "Decrease", "ReadBeep", "Close"}));
    EXPECT_EQ(reader.decreasedCode, 12);
    EXPECT_EQ(reader.decreasedAmount, 250);
    EXPECT_EQ(settings.reads, (std::vector<std::string>{"YKT_PORT", "YKT_RATE", "YKT_SECTOR", "YKT_KEY",
                                                        "YKT_CODEORNO"}));
}

TEST_F(Operations, DeductionInSerialModeTakesTheCodeFromTheCard) {
    settings.values["YKT_CODEORNO"] = "1";
    reader.card.code = 77;
    const OperationResult result = DeductFromCard(settings, reader, "", 0);
    EXPECT_EQ(result.code, kSuccess);
    EXPECT_EQ(reader.calls, (Calls{"Open", "ReadNoBeep", "Decrease", "ReadBeep", "Close"}));
    EXPECT_EQ(reader.decreasedCode, 77);
    EXPECT_EQ(reader.decreasedAmount, 0);
}

// The host names the card it read by its ten-digit serial text; another card
// on the reader by now must not pay. Numbers of any other form cannot be
// compared and charge the card on the reader, as before.
TEST_F(Operations, SerialModeChargesOnlyTheCardTheHostNamed) {
    const struct {
        const char* cardNumber;
        std::int32_t serialOnReader;
        bool charged;
    } cases[] = {
        {"0000001001", 1001, true},    // the same card
        {"0000001002", 1001, false},   // another card
        {"4294967295", -1, true},      // the serial read as unsigned, as the read gives it
        {"2147483648", -2147483647 - 1, true},
        {"0000001001", 1002, false},
        {"9999999999", 1001, false},
        {"", 1001, true},              // hosts that pass nothing
        {"1001", 1001, true},          // shorter
        {"1002", 1001, true},
        {"00000001002", 1001, true},   // eleven digits
        {"000000100 ", 1001, true},    // not only digits
        {" 000001002", 1001, true},
        {"00000010a2", 1001, true},
        {"000000012", 1001, true},     // the nine-digit code text
    };
    for (const auto& c : cases) {
        FakeSettings store;
        store.values = {{"YKT_KEY", kKey}, {"YKT_CODEORNO", "1"}};
        FakeReader fake;
        fake.card.serial = c.serialOnReader;
        DeductionTrace trace;
        const OperationResult result = DeductFromCard(store, fake, c.cardNumber, 100, &trace);
        const std::string seen = "card number \"" + std::string(c.cardNumber) + "\", serial on the reader " +
                                 std::to_string(c.serialOnReader);
        if (c.charged) {
            EXPECT_EQ(result.code, kSuccess) << seen;
            EXPECT_EQ(result.output, "3.45,7") << seen;
            EXPECT_EQ(fake.calls, (Calls{"Open", "ReadNoBeep", "Decrease", "ReadBeep", "Close"})) << seen;
            EXPECT_EQ(fake.decreasedCode, 12) << seen;
            EXPECT_FALSE(trace.stop.has_value()) << seen;
        } else {
            EXPECT_EQ(result.code, kFailure) << seen;
            EXPECT_EQ(result.output, "0,0") << seen;
            EXPECT_EQ(fake.calls, (Calls{"Open", "ReadNoBeep", "Close"})) << seen;
            ASSERT_TRUE(trace.stop.has_value()) << seen;
            EXPECT_STREQ(journal::StopReasonName(*trace.stop), "wrong_card") << seen;
        }
    }
}

// In code mode the serial number plays no part, whatever form the host's number has.
TEST_F(Operations, CodeModeNeverComparesSerialNumbers) {
    reader.card.serial = 5;
    const OperationResult result = DeductFromCard(settings, reader, "0000000012", 100);
    EXPECT_EQ(result.code, kSuccess);
    EXPECT_EQ(reader.calls, (Calls{"Open", "Decrease", "ReadBeep", "Close"}));
    EXPECT_EQ(reader.decreasedCode, 12);
}

TEST_F(Operations, DeductionPassesNegativeAmountsUnchanged) {
    DeductFromCard(settings, reader, "-12", -5);
    EXPECT_EQ(reader.decreasedCode, -12);
    EXPECT_EQ(reader.decreasedAmount, -5);
}

TEST_F(Operations, CardNumberThatIsNotADecimalIntegerIsRefused) {
    for (const char* bad : {"", "abc", "12a", " 12", "12 ", "2147483648", "1e3", "0x12"}) {
        reader.calls.clear();
        const OperationResult result = DeductFromCard(settings, reader, bad, 1);
        EXPECT_EQ(result.code, kFailure) << bad;
        EXPECT_EQ(result.output, "0,0") << bad;
        EXPECT_EQ(reader.calls, (Calls{"Open", "Close"})) << bad;
    }
}

// The journal's stop record names the reason the trace gives; an error ends
// the deduction without one, and the mode is known as soon as the key is.
TEST_F(Operations, DeductionTraceNamesWhereItStopped) {
    using journal::StopReason;
    const struct {
        const char* name;
        const char* key;
        const char* codeOrNo;
        const char* cardNumber;
        const char* faulting;
        std::int32_t firstRead;
        std::optional<bool> serialMode;
        std::optional<StopReason> stop;
    } cases[] = {
        {"key of 23 characters", "5A3C96E1B74D2F08C5A17E3", "0", "12", "", 1, std::nullopt, StopReason::kBadKey},
        {"no key", "", "1", "12", "", 1, std::nullopt, StopReason::kBadKey},
        {"serial mode, no card", kKey, "1", "", "", 0, true, StopReason::kNoCard},
        {"serial mode, read faults", kKey, "1", "", "ReadNoBeep", 1, true, std::nullopt},
        {"code mode, not a number", kKey, "0", "12a", "", 1, false, StopReason::kNotANumber},
        {"code mode, open faults", kKey, "0", "12", "Open", 1, false, std::nullopt},
        {"reaches Decrease", kKey, "0", "12", "", 1, false, std::nullopt},
        {"reaches Decrease, serial mode", kKey, "1", "", "", 1, true, std::nullopt},
    };
    for (const auto& c : cases) {
        FakeSettings store;
        store.values = {{"YKT_KEY", c.key}, {"YKT_CODEORNO", c.codeOrNo}};
        FakeReader fake;
        fake.results["ReadNoBeep"] = c.firstRead;
        if (*c.faulting) fake.faulting.insert(c.faulting);
        DeductionTrace trace;
        try {
            DeductFromCard(store, fake, c.cardNumber, 100, &trace);
        } catch (const std::exception&) {
            // An error in opening reaches the caller, as the export's guard sees it.
        }
        EXPECT_EQ(trace.serialMode, c.serialMode) << c.name;
        EXPECT_EQ(trace.stop.has_value(), c.stop.has_value()) << c.name;
        if (trace.stop && c.stop)
            EXPECT_STREQ(journal::StopReasonName(*trace.stop), journal::StopReasonName(*c.stop)) << c.name;
    }
}

struct DeductCase {
    const char* name;
    const char* codeOrNo;
    const char* faulting;
    std::int32_t firstRead, decrease, reRead;
    std::int32_t expectedCode;
    const char* expectedOutput;
    Calls calls;
};

class DeductFailures : public Operations, public testing::WithParamInterface<DeductCase> {};

TEST_P(DeductFailures, EndsWithTheRightCodeAndBalance) {
    const DeductCase& c = GetParam();
    settings.values["YKT_CODEORNO"] = c.codeOrNo;
    reader.results["ReadNoBeep"] = c.firstRead;
    reader.results["Decrease"] = c.decrease;
    reader.results["ReadBeep"] = c.reRead;
    if (*c.faulting) reader.faulting.insert(c.faulting);
    const OperationResult result = DeductFromCard(settings, reader, "12", 100);
    EXPECT_EQ(result.code, c.expectedCode);
    EXPECT_EQ(result.output, c.expectedOutput);
    EXPECT_EQ(reader.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeductFailures,
    testing::Values(
        DeductCase{"SerialNoCard", "1", "", 0, 1, 1, kFailure, "0,0", {"Open", "ReadNoBeep", "Close"}},
        DeductCase{"SerialReadFaults", "1", "ReadNoBeep", 1, 1, 1, kFailure, "0,0", {"Open", "ReadNoBeep", "Close"}},
        DeductCase{"Refused", "0", "", 1, 0, 1, kFailure, "0,0", {"Open", "Decrease", "Close"}},
        DeductCase{"DecreaseFaults", "0", "Decrease", 1, 1, 1, kFailure, "0,0", {"Open", "Decrease", "Close"}},
        DeductCase{"ReReadFailed", "0", "", 1, 1, 0, kSuccess, "0,0", {"Open", "Decrease", "ReadBeep", "Close"}},
        DeductCase{"ReReadFaults", "0", "ReadBeep", 1, 1, 1, kSuccess, "0,0",
                   {"Open", "Decrease", "ReadBeep", "Close"}},
        DeductCase{"Deducted", "0", "", 1, 1, 1, kSuccess, "3.45,7", {"Open", "Decrease", "ReadBeep", "Close"}},
        DeductCase{"SerialDeducted", "1", "", 1, 1, 1, kSuccess, "3.45,7",
                   {"Open", "ReadNoBeep", "Decrease", "ReadBeep", "Close"}}),
    [](const testing::TestParamInfo<DeductCase>& info) { return info.param.name; });

}  // namespace
