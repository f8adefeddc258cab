// Hosts that load the library for each transaction and free it afterwards,
// and hosts that call it from short-lived threads, must find their process as
// it was: no committed memory, no handle, no TLS slot left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string>

#include "DoubleControl.h"
#include "HostLib.h"
#include "Probes.h"

namespace ykt::test {
namespace {

// --cycles=N and --threads=N: the emulated i686 guest, some fifty times
// slower, runs fewer.
int g_cycles = 1000;
int g_threads = 2000;
// The heap keeps a little bookkeeping of its own between measurements; a
// leak of the runtime's size (kilobytes per load) goes far beyond this.
constexpr std::size_t kAllowedGrowth = 64 * 1024;

struct Figures {
    std::size_t bytes;
    int handles;
    DWORD freeTlsSlot;  // the lowest free slot: it moves up when slots are kept
};

DWORD LowestFreeTlsSlot() {
    const DWORD slot = TlsAlloc();
    if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
    return slot;
}

Figures Measure() { return {CommittedPrivateBytes(), OpenHandles(), LowestFreeTlsSlot()}; }

class Quiet : public testing::Test {
protected:
    // The doubles stand for the vendor's libraries and the host's memory
    // manager, whose memory is not the library's to account for: they stay
    // loaded while the library comes and goes (the loader would otherwise
    // unload the vendor doubles with it, this program's own imports of them
    // notwithstanding, and start their runtimes afresh at the next load).
    static void SetUpTestSuite() {
        for (const char* dll : {"irdll.dll", "BCIdll.dll"}) LoadLibraryA(dll);
    }
    void SetUp() override {
        WriteDefaultSettings();
        dbl_reset();
        dbl_set_quiet(1);  // the doubles' call log would grow with every cycle
    }
    void TearDown() override {
        dbl_set_quiet(0);
        dbl_reset();
    }
};

class Lifecycle : public Quiet, public testing::WithParamInterface<AllocMode> {};

std::string ModeName(const testing::TestParamInfo<AllocMode>& info) { return ykt::test::ModeName(info.param); }

INSTANTIATE_TEST_SUITE_P(Modes, Lifecycle, testing::Values(AllocMode::ProcessHeap, AllocMode::Shared), ModeName);

// One transaction of a host that keeps the library loaded only while it
// works: load, read the card, probe the reader with a fault in WT_exit (the
// library throws and catches inside), unload. Returns what went otherwise.
std::string Transaction(AllocMode mode) {
    HostLib lib(mode);
    std::string wrong;
    dbl_reset();
    char* number = nullptr;
    const int read = lib.api().vbReadCardNo(&number);
    if (read != 0 || Text(number) != "000000012")
        wrong += "read gave " + std::to_string(read) + " \"" + Text(number) + "\"; ";
    lib.Release(number);
    dbl_set_fault("WT_exit", kAccessViolation);
    const int init = lib.api().vbInitCom();
    if (init != 1) wrong += "vbInitCom with a fault in WT_exit gave " + std::to_string(init) + "; ";
    dbl_reset();
    return wrong;
}

TEST_P(Lifecycle, LoadingAndFreeingPerTransactionLeavesNothing) {
    HMODULE keep = GetParam() == AllocMode::Shared ? LoadLibraryA("borlndmm.dll") : nullptr;
    // The first rounds fill what stays: the loader's and the registry's caches.
    for (int i = 0; i < 20; ++i) ASSERT_EQ(Transaction(GetParam()), "") << "warm-up cycle " << i;
    const Figures before = Measure();
    const auto start = std::chrono::steady_clock::now();
    int failed = 0;
    for (int i = 0; i < g_cycles; ++i) {
        const std::string wrong = Transaction(GetParam());
        if (!wrong.empty() && ++failed <= 5) ADD_FAILURE() << "cycle " << i << ": " << wrong;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Figures after = Measure();
    const long long grown = static_cast<long long>(after.bytes) - static_cast<long long>(before.bytes);
    std::printf("[ figures  ] %s: %d load/read/vbInitCom/free cycles in %.1f s: private bytes %+lld "
                "(%+lld per 1000 cycles), handles %d -> %d (%+d per 1000 cycles), lowest free TLS slot %lu -> %lu\n",
                ykt::test::ModeName(GetParam()), g_cycles, seconds, grown, grown * 1000 / g_cycles, before.handles,
                after.handles, (after.handles - before.handles) * 1000 / g_cycles,
                static_cast<unsigned long>(before.freeTlsSlot), static_cast<unsigned long>(after.freeTlsSlot));
    std::fflush(stdout);
    EXPECT_EQ(failed, 0);
    EXPECT_LE(grown, static_cast<long long>(kAllowedGrowth)) << "committed private memory grew";
    EXPECT_EQ(after.handles, before.handles) << "handles were left open";
    EXPECT_EQ(after.freeTlsSlot, before.freeTlsSlot) << "TLS slots were left allocated";
    if (keep) FreeLibrary(keep);
}

struct ThreadCall {
    const Exports* api;
    const HostLib* lib;
    int result;
    std::string number;
};

DWORD WINAPI ReadOnThread(void* raw) {
    auto* call = static_cast<ThreadCall*>(raw);
    char* number = nullptr;
    call->result = call->api->vbReadCardNo(&number);
    call->number = Text(number);
    call->lib->Release(number);
    return 0;
}

// One allocator mode: the threads meet the same runtime in both, and each
// thread costs the emulated guest a good part of a second.
using Threads = Quiet;
TEST_F(Threads, ShortLivedThreadsLeaveNothing) {
    HostLib lib(AllocMode::ProcessHeap);
    // Every second thread meets a fault inside the reader, so that the library
    // throws and catches on a thread that ends right after.
    auto runThread = [&](int i) -> std::string {
        dbl_reset();
        const bool fault = i % 2 == 1;
        if (fault) dbl_set_fault("ReadCardNoBeep", kAccessViolation);
        ThreadCall call{&lib.api(), &lib, -2, ""};
        HANDLE thread = CreateThread(nullptr, 0, ReadOnThread, &call, 0, nullptr);
        if (!thread) return "CreateThread failed";
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        const int want = fault ? 1 : 0;
        const std::string wantNumber = fault ? "" : "000000012";
        if (call.result != want || call.number != wantNumber)
            return "result " + std::to_string(call.result) + " \"" + call.number + "\", expected " +
                   std::to_string(want) + " \"" + wantNumber + "\"";
        return "";
    };
    for (int i = 0; i < 20; ++i) ASSERT_EQ(runThread(i), "") << "warm-up thread " << i;
    const Figures before = Measure();
    const auto start = std::chrono::steady_clock::now();
    int failed = 0;
    for (int i = 0; i < g_threads; ++i) {
        const std::string wrong = runThread(i);
        if (!wrong.empty() && ++failed <= 5) ADD_FAILURE() << "thread " << i << ": " << wrong;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Figures after = Measure();
    const long long grown = static_cast<long long>(after.bytes) - static_cast<long long>(before.bytes);
    std::printf("[ figures  ] %d threads with one card read each (half faulting) in %.1f s: private bytes "
                "%+lld, handles %d -> %d, lowest free TLS slot %lu -> %lu\n",
                g_threads, seconds, grown, before.handles, after.handles,
                static_cast<unsigned long>(before.freeTlsSlot), static_cast<unsigned long>(after.freeTlsSlot));
    std::fflush(stdout);
    EXPECT_EQ(failed, 0);
    EXPECT_LE(grown, static_cast<long long>(kAllowedGrowth)) << "committed private memory grew";
    EXPECT_EQ(after.handles, before.handles) << "handles were left open";
    EXPECT_EQ(after.freeTlsSlot, before.freeTlsSlot) << "TLS slots were left allocated";
}

}  // namespace

void SetCounts(int cycles, int threads) {
    if (cycles > 0) g_cycles = cycles;
    if (threads > 0) g_threads = threads;
}

}  // namespace ykt::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    int cycles = 0, threads = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--cycles=", 9) == 0) cycles = std::atoi(argv[i] + 9);
        if (std::strncmp(argv[i], "--threads=", 10) == 0) threads = std::atoi(argv[i] + 10);
    }
    ykt::test::SetCounts(cycles, threads);
    return RUN_ALL_TESTS();
}
