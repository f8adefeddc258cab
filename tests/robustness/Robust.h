// Shared by the robustness programs: the operations under test as data, what
// each must leave behind, and a host fixture that checks every string it was
// handed back.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "HostFixture.h"

namespace ykt::test {

enum class Export { InitCom, ReadCardNo, ReadCardBeep, DecCard };

// One export in one configuration: the card-state check for the reads, the
// card-number mode for the reads and the deduction.
struct Variant {
    const char* name;
    Export which;
    bool stateCheck;
    bool serialMode;
};

const std::vector<Variant>& AllVariants();

// The settings the operations see, as they should read them.
struct Effective {
    int port = 2;
    int rate = 9600;
    int sector = 7;
    bool keyOk = true;
    bool stateCheck = false;
    bool serialMode = false;
    // A text value the export reads is stored under a non-string type.
    bool textUnreadable = false;
};

// One call into a vendor library: the name dbl_set_fault knows it by and its
// line in dbl_log.
struct Step {
    std::string function;
    std::string line;
};

inline constexpr const char* kKey = kDefaultKey;
inline constexpr int kAmount = 250;
inline constexpr const char* kHostCardNumber = "000000012";  // the double's card code, as a read returns it

// The vendor calls of an undisturbed run; empty when the reader must not be touched.
std::vector<Step> Steps(const Variant& v, const Effective& e);

// Result and output of an export. output nullopt: the host's variable must
// still hold what it held before.
struct Outcome {
    int result;
    std::optional<std::string> output;
};
Outcome Undisturbed(const Variant& v, const Effective& e);
// When the vendor function faults (and every later call with it).
Outcome AfterFault(const Variant& v, const std::string& function);

// The log of steps[0..last] followed by the closing call when the connection
// was open and the closing call was not among them.
std::string LogUpTo(const std::vector<Step>& steps, std::size_t last);
std::string LogOf(const std::vector<Step>& steps);

// The store of a till: every one of the twelve values set (flags from v).
void WriteStore(const Variant& v);
// The value stored for name by WriteStore.
std::string StoredValue(const Variant& v, const std::string& name);
inline constexpr const auto& kAllSettings = setting::kAll;

// Calls the export like a host: the output variable holds a string of its
// own ("OLD") before the call. Checks the reference counts of what comes
// back and releases it; returns the result and the output seen.
struct Call {
    int result = 0;
    bool outputUntouched = false;
    std::string output;
    unsigned registersChanged = 0;  // i686: callee-saved registers the call did not restore
    bool sehChainChanged = false;   // i686: the head of the exception chain moved
};
Call CallExport(const HostLib& lib, const Variant& v);

// Number of soak operations per allocator mode: --soak-ops=N, default 5000.
int SoakOperations();
// --quick (the emulated i686 guest, some hundred times slower): a soak of 100
// operations and the damaged-settings sweep over one variant of each export.
bool Quick();

}  // namespace ykt::test
