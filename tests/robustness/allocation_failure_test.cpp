// The host's shared allocator fails: every allocation after the k-th returns
// null, or faults inside SysGetMem, for every k up to the number an
// undisturbed call makes. A deduction that Decrease confirmed is reported as
// done (0) whatever fails after it, or the host would charge again; the
// balance text is then "0,0" or the balance. A card number that cannot be
// handed over gives 1 and leaves the host's variable as it was.
#include <windows.h>

#include <cstring>
#include <string>

#include "Robust.h"

namespace ykt::test {
namespace {

using FailAfterFn = void (*)(int, int);
using CountFn = int (*)();

struct Case {
    const char* name;
    Export which;
    bool serialMode;
    bool stateCheck;
};

const Case kCases[] = {
    {"vbDecCard, code mode", Export::DecCard, false, false},
    {"vbDecCard, serial-number mode", Export::DecCard, true, false},
    {"vbReadCardNo", Export::ReadCardNo, false, false},
    {"vbReadCardNo, card-state check", Export::ReadCardNo, false, true},
    {"vbReadCardBeep, serial-number mode", Export::ReadCardBeep, true, false},
};

struct Seen {
    int result = -2;
    bool untouched = false;
    std::string output;
    int gets = 0;  // allocations the call was granted
    std::string log;
};

class AllocationFailure : public testing::Test {
protected:
    void SetUp() override {
        lib_ = std::make_unique<HostLib>(AllocMode::Shared);
        HMODULE borlndmm = GetModuleHandleA("borlndmm.dll");
        failAfter_ = reinterpret_cast<FailAfterFn>(reinterpret_cast<void*>(GetProcAddress(borlndmm, "bmm_fail_after")));
        totalGets_ = reinterpret_cast<CountFn>(reinterpret_cast<void*>(GetProcAddress(borlndmm, "bmm_total_gets")));
        ASSERT_TRUE(failAfter_ && totalGets_) << "the borlndmm double lacks its failure switch";
        liveAtStart_ = lib_->LiveBlocks();
    }
    void TearDown() override {
        if (failAfter_) failAfter_(-1, 0);
        EXPECT_EQ(lib_->LiveBlocks(), liveAtStart_) << "strings leaked";
        EXPECT_EQ(lib_->BadFrees(), 0) << "strings freed that were not allocated, or twice";
        lib_.reset();
    }

    // One call like a host's, with the allocator failing after `grant` more
    // allocations (-1: never).
    Seen Call(const Case& c, int grant, int failure) {
        Seen seen;
        char* const old = lib_->NewString("OLD", 2);  // the host holds a second reference
        char* variable = old;
        char* input = c.which == Export::DecCard ? lib_->NewString(kHostCardNumber) : nullptr;
        dbl_reset();
        const int before = totalGets_();
        failAfter_(grant, failure);
        const Exports& api = lib_->api();
        if (c.which == Export::DecCard)
            seen.result = api.vbDecCard(input, kAmount, &variable);
        else if (c.which == Export::ReadCardNo)
            seen.result = api.vbReadCardNo(&variable);
        else
            seen.result = api.vbReadCardBeep(&variable);
        failAfter_(-1, 0);
        seen.gets = totalGets_() - before;
        seen.log = dbl_log();
        seen.untouched = variable == old;
        seen.output = Text(variable);
        EXPECT_EQ(RefCount(old), seen.untouched ? 2 : 1) << "the old content must lose exactly one reference";
        if (input) {
            EXPECT_EQ(RefCount(input), 1) << "the input's reference was not given back";
        }
        if (!seen.untouched) lib_->Release(variable);
        lib_->Release(old);
        if (seen.untouched) lib_->Release(old);
        lib_->Release(input);
        return seen;
    }

    std::unique_ptr<HostLib> lib_;
    FailAfterFn failAfter_ = nullptr;
    CountFn totalGets_ = nullptr;
    int liveAtStart_ = 0;
};

int Count(const std::string& log, const char* entry) {
    int n = 0;
    for (std::size_t at = log.find(entry); at != std::string::npos; at = log.find(entry, at + 1)) ++n;
    return n;
}

TEST_F(AllocationFailure, NoChargeIsEverReportedAsFailedAndNoNumberIsHalfHandedOver) {
    for (const Case& c : kCases) {
        Variant v{c.name, c.which, c.stateCheck, c.serialMode};
        WriteStore(v);
        const Seen whole = Call(c, -1, 0);
        ASSERT_EQ(whole.result, 0) << c.name << ": undisturbed";
        const std::string wanted = whole.output;
        for (int failure : {kAllocNull, kAllocFault}) {
            const char* how = failure == kAllocNull ? "null" : "a fault";
            for (int k = 0; k <= whole.gets; ++k) {
                SCOPED_TRACE(std::string(c.name) + ": allocation " + std::to_string(k + 1) + " and later give " +
                             how);
                const Seen s = Call(c, k, failure);
                EXPECT_EQ(Count(s.log, "WT_init("), Count(s.log, "WT_exit")) << "connection not closed:\n" << s.log;
                if (c.which == Export::DecCard) {
                    const bool charged = Count(s.log, "Decrease(") == 1;
                    if (charged) {
                        EXPECT_EQ(s.result, 0) << "the card was charged and the host is told it was not";
                        EXPECT_FALSE(s.untouched);
                        EXPECT_TRUE(s.output == "0,0" || s.output == wanted) << "balance text \"" << s.output << '"';
                    } else {
                        EXPECT_EQ(s.result, 1);
                        EXPECT_TRUE(s.untouched || s.output == "0,0") << "balance text \"" << s.output << '"';
                    }
                    // Without "0,0" in place nothing is deducted; with it, the
                    // deduction goes ahead.
                    EXPECT_EQ(charged, k > 0) << "log:\n" << s.log;
                    if (k == whole.gets) {
                        EXPECT_EQ(s.output, wanted);
                    }
                } else if (k < whole.gets) {
                    EXPECT_EQ(s.result, 1) << "a number that could not be handed over";
                    EXPECT_TRUE(s.untouched) << "the variable now holds \"" << s.output << '"';
                } else {
                    EXPECT_EQ(s.result, 0);
                    EXPECT_EQ(s.output, wanted);
                }
            }
        }
    }
}

// An output variable the library cannot write (a host passing the address of
// a constant): 1 and no crash, the card uncharged, nothing leaked.
TEST_F(AllocationFailure, AnOutputThatCannotBeWrittenGivesOne) {
    WriteStore({"vbDecCard", Export::DecCard, false, false});
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    auto* page = static_cast<char**>(VirtualAlloc(nullptr, info.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(page, nullptr);
    DWORD was = 0;
    ASSERT_TRUE(VirtualProtect(page, info.dwPageSize, PAGE_READONLY, &was));
    const Exports& api = lib_->api();
    dbl_reset();
    EXPECT_EQ(api.vbReadCardNo(page), 1);
    EXPECT_EQ(api.vbReadCardBeep(page), 1);
    char* input = lib_->NewString(kHostCardNumber);
    EXPECT_EQ(api.vbDecCard(input, kAmount, page), 1);
    EXPECT_EQ(Count(dbl_log(), "Decrease("), 0) << "charged without a balance text to report:\n" << dbl_log();
    EXPECT_EQ(*page, nullptr);
    lib_->Release(input);
    VirtualFree(page, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace ykt::test
