// The simulated reader's rules and its state file text, without Windows.
#include <gtest/gtest.h>

#include <cctype>

#include "SimCard.h"

namespace ykt::sim {
namespace {

const char* const kGood =
    "# a comment\n"
    "serial = 4294967295\n"
    "code=123456789\n"
    "\n"
    "balance=-5\r\n"
    "fourth=7\n"
    "present=0\n"
    "reader_key=00112233445566778899aabb\n"
    "card_state=2\n";

TEST(SimStateText, ParsesBlanksCommentsCrLfAndTheFullRanges) {
    std::string error;
    const auto state = ParseState(kGood, error);
    ASSERT_TRUE(state) << error;
    EXPECT_EQ(state->serial, 4294967295u);
    EXPECT_EQ(state->code, 123456789);
    EXPECT_EQ(state->balance, -5);
    EXPECT_EQ(state->fourth, 7);
    EXPECT_FALSE(state->present);
    EXPECT_EQ(state->readerKey, "00112233445566778899aabb");
    EXPECT_EQ(state->cardState, 2);
    EXPECT_EQ(state->delayMs, 0);  // optional
}

TEST(SimStateText, FormatThenParseGivesTheStateBack) {
    std::string error;
    const auto first = ParseState(kGood, error);
    ASSERT_TRUE(first) << error;
    CardState changed = *first;
    changed.delayMs = 250;
    const auto again = ParseState(FormatState(changed), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(FormatState(*again), FormatState(changed));
    EXPECT_EQ(again->serial, 4294967295u);
    EXPECT_EQ(again->delayMs, 250);
    // The sample card a missing file is created with parses too.
    EXPECT_TRUE(ParseState(FormatState(CardState()), error)) << error;
}

struct BadText {
    const char* what;
    std::string from;  // replaced in the sample file text...
    std::string to;    // ...by this
    const char* message;
};

void PrintTo(const BadText& c, std::ostream* out) { *out << c.what; }

class SimStateErrors : public ::testing::TestWithParam<BadText> {};

TEST_P(SimStateErrors, NameTheLineAndTheProblem) {
    std::string text = FormatState(CardState());
    const auto at = text.find(GetParam().from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, GetParam().from.size(), GetParam().to);
    std::string error;
    EXPECT_FALSE(ParseState(text, error));
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimStateErrors,
    ::testing::Values(BadText{"letters", "balance=10000", "balance=100a", "balance: not a whole number"},
                      BadText{"empty", "code=12", "code=", "code: not a whole number"},
                      BadText{"serial too big", "serial=3052741689", "serial=4294967296", "serial"},
                      BadText{"negative serial", "serial=3052741689", "serial=-1", "serial"},
                      BadText{"int overflow", "fourth=0", "fourth=2147483648", "fourth"},
                      BadText{"present 2", "present=1", "present=2", "present"},
                      BadText{"short key", "reader_key=5A3C96E1B74D2F08C5A17E39",
                              "reader_key=5A3C96E1B74D2F08C5A17E3", "reader_key: not 24 hexadecimal"},
                      BadText{"key not hex", "reader_key=5A3C96E1B74D2F08C5A17E39",
                              "reader_key=5A3C96E1B74D2F08C5A17EXY", "reader_key: not 24 hexadecimal"},
                      BadText{"missing", "card_state=0\n", "", "missing card_state"},
                      BadText{"typo", "card_state=0", "card_sate=0", "unknown key 'card_sate'"},
                      BadText{"twice", "fourth=0\n", "fourth=0\nfourth=1\n", "fourth given twice"},
                      BadText{"no equals", "present=1", "present 1", "line "},
                      BadText{"delay too long", "delay_ms=0", "delay_ms=600000", "delay_ms"}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

Session OpenWith(const std::string& key) {
    Session session;
    session.open = true;
    session.key = *KeyBytes(key);
    return session;
}

TEST(SimReader, ReadsOnlyAnOpenSessionWithTheReadersKeyAndACard) {
    CardState state;
    state.serial = 4000000000u;
    std::int32_t values[4] = {-9, -9, -9, -9};
    EXPECT_EQ(Read(Session(), state, values), kNotOpen);
    EXPECT_EQ(Read(OpenWith("5A3C96E1B74D2F08C5A17E38"), state, values), kAuthFailed);
    // The key is compared as bytes: the same digits in lower case match.
    EXPECT_EQ(Read(OpenWith("5a3c96e1b74d2f08c5a17e39"), state, values), kOk);
    EXPECT_EQ(static_cast<std::uint32_t>(values[0]), 4000000000u);
    EXPECT_EQ(values[1], 12);
    EXPECT_EQ(values[2], 10000);
    state.present = false;
    std::int32_t untouched[4] = {-9, -9, -9, -9};
    EXPECT_EQ(Read(OpenWith(state.readerKey), state, untouched), kNoCard);
    EXPECT_EQ(untouched[0], -9);
}

TEST(SimReader, DeductionEdges) {
    const Session session = OpenWith(CardState().readerKey);
    CardState state;
    state.balance = 300;
    state.fourth = 2147483647;
    // The whole balance may go, and the count wraps like a 32-bit field.
    EXPECT_EQ(Decrease(session, state, 12, 300), kOk);
    EXPECT_EQ(state.balance, 0);
    EXPECT_EQ(state.fourth, -2147483647 - 1);
    // Zero is a deduction too; one hundredth more than the balance is not.
    EXPECT_EQ(Decrease(session, state, 12, 0), kOk);
    EXPECT_EQ(state.fourth, -2147483647);
    EXPECT_EQ(Decrease(session, state, 12, 1), kInsufficient);
    EXPECT_EQ(state.fourth, -2147483647);
    state.present = false;
    EXPECT_EQ(Decrease(session, state, 12, 0), kNoCard);
}

}  // namespace
}  // namespace ykt::sim
