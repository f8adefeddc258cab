// ykt's command line and the texts around it, without Windows: what the user
// asked for, the usage text, the exit statuses scripts test, and the
// formatting of amounts and balances.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ykt::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // the library reported a failure, or it could not be loaded
constexpr int kExitUnusable = 2;  // the card was read but the card system refuses it
constexpr int kExitUsage = 64;    // bad command line: the library is not even loaded

enum class Action { Help, Probe, Read, Deduct, Settings, Show, Doctor, Journal, Setup, Verify };

struct Command {
    Action action = Action::Help;
    bool beep = false;              // read --beep
    std::string cardNumber;         // deduct: decimal digits
    std::int32_t amount = 0;        // deduct: hundredths, not negative
    std::int32_t closeAfterMs = -1;  // settings --close-after: close the dialog by itself (scripted runs)
    int year = 0, month = 0;        // journal: the month to show; 0: this month
    bool unconfirmedOnly = false;   // journal --unconfirmed
    bool usersMaySave = false;      // setup --users-may-save
};

// Parses the arguments after the program name (UTF-8). On a usage error
// returns nothing and sets `error` to a one-line explanation in Chinese.
std::optional<Command> Parse(const std::vector<std::string>& args, std::string& error);

// Short usage (after an error) and the full help (--help).
std::string UsageText();
std::string HelpText();

// Exit status for a result code of a card operation: 0 -> 0, -1 -> 2, else 1.
int ExitStatus(int libraryResult);

// Hundredths as units with two decimals: 250 -> "2.50", -5 -> "-0.05".
std::string FormatHundredths(std::int64_t hundredths);

// The library's balance text "units.hh,n" split into the balance and the
// fourth value; nothing for "0,0" (no balance read) or a text of another form.
struct Balance {
    std::string amount;
    std::string fourth;
};
std::optional<Balance> SplitBalance(const std::string& text);

// A stored password shown as asterisks of a fixed length, or "（未设置）".
// The reader key as ykt shows it: only its first and last four characters,
// so that a pasted output cannot open the reader. A text of fewer than 12
// characters is all stars.
std::string MaskKey(const std::string& shown);
std::string MaskPassword(const std::string& stored);

}  // namespace ykt::cli
