// Many card operations in one process, mixed with faults: strings, heap,
// handles and memory must come back to where they were. --soak-ops=N sets
// the number of operations per allocator mode.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "ProcessProbes.h"
#include "Robust.h"

namespace ykt::test {
namespace {

using Soak = HostTest;
YKT_BOTH_MODES(Soak);

struct Figures {
    int liveBlocks;
    int handles;
    std::size_t privateBytes;
};

Figures Measure(const HostLib& lib) { return {lib.LiveBlocks(), OpenHandles(), CommittedPrivateBytes()}; }

// One planned operation: a variant and, for some, a fault in one of its calls.
struct Planned {
    const Variant* variant;
    std::string faultIn;  // empty: no fault
    int kind;
};

TEST_P(Soak, CardOperationsMixedWithFaultsLeaveNothingBehind) {
    const int operations = SoakOperations();
    const std::vector<Variant>& variants = AllVariants();
    std::vector<std::vector<Step>> steps;
    for (const Variant& v : variants) {
        Effective e;
        e.stateCheck = v.stateCheck;
        e.serialMode = v.serialMode;
        steps.push_back(Steps(v, e));
    }
    std::uint32_t seed = 0x5EED1234u;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto plan = [&]() -> Planned {
        const std::size_t i = next() % variants.size();
        Planned p{&variants[i], "", kNoFault};
        if (next() % 8 == 0) {  // one operation in eight meets a fault
            p.faultIn = steps[i][next() % steps[i].size()].function;
            p.kind = static_cast<int>(next() % 3) + 1;
        }
        return p;
    };

    const Variant* stored = nullptr;
    int faults = 0, failures = 0, wrong = 0;
    auto run = [&](const Planned& p) {
        const Variant& v = *p.variant;
        // Only the two flags differ between the variants' stores.
        if (!stored || stored->stateCheck != v.stateCheck) SetSetting("YKT_DBSATAUS", v.stateCheck ? "1" : "0");
        if (!stored || stored->serialMode != v.serialMode) SetSetting("YKT_CODEORNO", v.serialMode ? "1" : "0");
        stored = &v;
        dbl_reset();
        if (!p.faultIn.empty()) dbl_set_fault(p.faultIn.c_str(), p.kind);
        const Call call = CallExport(lib(), v);
        const std::vector<Step>& s = steps[&v - variants.data()];
        Outcome want;
        std::string log;
        if (p.faultIn.empty()) {
            Effective e;
            e.stateCheck = v.stateCheck;
            e.serialMode = v.serialMode;
            want = Undisturbed(v, e);
            log = LogOf(s);
        } else {
            ++faults;
            want = AfterFault(v, p.faultIn);
            std::size_t at = 0;
            while (s[at].function != p.faultIn) ++at;
            log = LogUpTo(s, at);
        }
        if (call.result != 0) ++failures;
        const bool right = call.result == want.result && call.outputUntouched == !want.output &&
                           (!want.output || call.output == *want.output) && dbl_log() == log;
        if (!right && ++wrong <= 5)
            ADD_FAILURE() << v.name << " fault in '" << p.faultIn << "' kind " << p.kind << ": result "
                          << call.result << ", output \"" << call.output << "\", log\n"
                          << dbl_log();
    };

    WriteStore(variants[0]);
    // Warm-up: the first calls fill caches that stay (registry, loader, the doubles' log).
    for (int i = 0, n = std::min(200, std::max(20, operations / 10)); i < n; ++i) run(plan());
    const Figures before = Measure(lib());
    bool heapValid = true;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < operations; ++i) {
        run(plan());
        if (i % 1000 == 999) heapValid = heapValid && HeapValidate(GetProcessHeap(), 0, nullptr);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    heapValid = heapValid && HeapValidate(GetProcessHeap(), 0, nullptr);
    const Figures after = Measure(lib());

    std::printf("[ figures  ] %s soak: %d operations in %.1f s (%.0f us each), %d with an injected fault, "
                "%d answered 1, %d not as expected\n",
                ModeName(GetParam()), operations, seconds, seconds * 1e6 / (operations ? operations : 1), faults,
                failures, wrong);
    std::printf("[ figures  ] %s soak: live blocks %d -> %d, handles %d -> %d, private bytes %u -> %u KiB, "
                "process heap %s\n",
                ModeName(GetParam()), before.liveBlocks, after.liveBlocks, before.handles, after.handles,
                static_cast<unsigned>(before.privateBytes / 1024), static_cast<unsigned>(after.privateBytes / 1024), heapValid ? "valid" : "DAMAGED");
    std::fflush(stdout);

    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(heapValid);
    EXPECT_EQ(after.liveBlocks, before.liveBlocks) << "strings leaked or freed twice";
    EXPECT_LE(after.handles, before.handles + 4) << "handles leaked";
    // A leak of a few bytes per operation shows over thousands of them; heap
    // bookkeeping and the doubles' buffers stay well below this.
    const std::size_t allowed = 128 * 1024;
    EXPECT_LE(after.privateBytes, before.privateBytes + allowed) << "private bytes grew";
}

}  // namespace
}  // namespace ykt::test
