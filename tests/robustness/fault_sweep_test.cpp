// Every vendor call of every card export faults in turn: the host must get the
// result the operation promises, keep running with its registers and its
// exception chain intact, see the connection closed exactly when it was
// opened, and lose no string.
#include <cstdio>

#include "Robust.h"

namespace ykt::test {
namespace {

using FaultSweep = HostTest;
YKT_BOTH_MODES(FaultSweep);

bool WritesOutputs(const std::string& function) {
    return function == "ReadCardNoBeep" || function == "ReadCardBeep" || function == "GetCardState";
}

void ExpectOutcome(const Call& call, const Outcome& want) {
    EXPECT_EQ(call.result, want.result);
    if (want.output) {
        EXPECT_FALSE(call.outputUntouched) << "the output was not assigned";
        EXPECT_EQ(call.output, *want.output);
    } else {
        EXPECT_TRUE(call.outputUntouched) << "the output was replaced by \"" << call.output << '"';
    }
    EXPECT_EQ(call.registersChanged, 0u) << "callee-saved registers or the stack pointer not restored";
    EXPECT_FALSE(call.sehChainChanged) << "the exception chain was left changed";
}

TEST_P(FaultSweep, EveryVendorCallFaultsInTurn) {
    int injected = 0;
    for (const Variant& v : AllVariants()) {
        WriteStore(v);
        Effective e;
        e.stateCheck = v.stateCheck;
        e.serialMode = v.serialMode;
        const std::vector<Step> steps = Steps(v, e);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const std::string& function = steps[i].function;
            std::vector<int> kinds = {kAccessViolation, kForeignException};
            if (WritesOutputs(function)) kinds.push_back(kAccessViolationAfterOutputs);
            for (int kind : kinds) {
                // The same fault again in the closing call: the second fault
                // must not undo what the first one left.
                for (bool closeFaultsToo : {false, true}) {
                    if (closeFaultsToo && (function == "WT_init" || function == "WT_exit")) continue;
                    SCOPED_TRACE(std::string(v.name) + ": " + function + " fault " + std::to_string(kind) +
                                 (closeFaultsToo ? " and in WT_exit" : ""));
                    dbl_reset();
                    dbl_set_fault(function.c_str(), kind);
                    if (closeFaultsToo) dbl_set_fault("WT_exit", kind);
                    ExpectOutcome(CallExport(lib(), v), AfterFault(v, function));
                    EXPECT_EQ(Log(), LogUpTo(steps, i));
                    injected += closeFaultsToo ? 2 : 1;

                    // Nothing of the fault stays behind for the next call.
                    dbl_reset();
                    ExpectOutcome(CallExport(lib(), v), Undisturbed(v, e));
                    EXPECT_EQ(Log(), LogOf(steps));
                }
            }
        }
    }
    std::printf("[ figures  ] %s: %d faults injected into %zu export variants, all contained\n",
                ModeName(GetParam()), injected, AllVariants().size());
}

}  // namespace
}  // namespace ykt::test
