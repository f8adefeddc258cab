// The simulator DLLs as the library calls them: the state file behind them
// (created, read afresh, written back atomically), refusals that leave it
// alone, and a malformed file that fails the reads with a message.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TillSupport.h"
#include "SimCard.h"

namespace ykt::till {
namespace {

using InitFn = int(__stdcall*)(int, int, int, const unsigned char*);
using ExitFn = int(__stdcall*)();
using ReadFn = int(__stdcall*)(int*, int*, int*, int*);
using DecreaseFn = int(__stdcall*)(int, int);
using StateFn = int(__stdcall*)(const char*, const char*, const char*, const char*, const char*, char**, int*,
                                int*, int*, int*);

template <class Fn>
Fn Get(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const unsigned char kReaderKey[13] = {0x5A, 0x3C, 0x96, 0xE1, 0xB7, 0x4D, 0x2F, 0x08, 0xC5, 0xA1, 0x7E, 0x39, 0};

class SimDll : public ::testing::Test {
protected:
    void SetUp() override {
        irdll_ = LoadLibraryW((TillDir() + L"irdll.dll").c_str());
        bcidll_ = LoadLibraryW((TillDir() + L"BCIdll.dll").c_str());
        ASSERT_TRUE(irdll_ && bcidll_) << "simulator DLLs not found in " << Narrow(TillDir());
        init_ = Get<InitFn>(irdll_, "WT_init");
        exit_ = Get<ExitFn>(irdll_, "WT_exit");
        readNoBeep_ = Get<ReadFn>(irdll_, "ReadCardNoBeep");
        readBeep_ = Get<ReadFn>(irdll_, "ReadCardBeep");
        decrease_ = Get<DecreaseFn>(irdll_, "Decrease");
        cardState_ = Get<StateFn>(bcidll_, "GetCardState");
        ASSERT_TRUE(init_ && exit_ && readNoBeep_ && readBeep_ && decrease_ && cardState_);
    }
    void TearDown() override {
        if (irdll_) FreeLibrary(irdll_);
        if (bcidll_) FreeLibrary(bcidll_);
    }

    // The sample card with some lines changed.
    void WriteState(const std::string& from = "", const std::string& to = "") {
        std::string text = sim::FormatState(sim::CardState());
        if (!from.empty()) text.replace(text.find(from), from.size(), to);
        WriteAll(state_, text);
    }
    sim::CardState StoredState() {
        std::string error;
        auto state = sim::ParseState(ReadAll(state_), error);
        EXPECT_TRUE(state) << error;
        return state.value_or(sim::CardState());
    }
    int ReadWith(const unsigned char* key, int values[4]) {
        init_(0, 9600, 7, key);
        const int result = readBeep_(&values[0], &values[1], &values[2], &values[3]);
        exit_();
        return result;
    }
    int DecreaseWith(const unsigned char* key, int code, int amount) {
        init_(0, 9600, 7, key);
        const int result = decrease_(code, amount);
        exit_();
        return result;
    }

    TempDir dir_;
    std::wstring state_ = dir_ / L"card.txt";
    ScopedEnv env_{L"YKT_SIM_STATE", state_.c_str()};
    ScopedEnv noDelay_{L"YKT_SIM_DELAY_MS", nullptr};
    HMODULE irdll_ = nullptr, bcidll_ = nullptr;
    InitFn init_ = nullptr;
    ExitFn exit_ = nullptr;
    ReadFn readNoBeep_ = nullptr, readBeep_ = nullptr;
    DecreaseFn decrease_ = nullptr;
    StateFn cardState_ = nullptr;
};

TEST_F(SimDll, MissingStateFileIsCreatedWithTheSampleCard) {
    int values[4] = {};
    EXPECT_EQ(ReadWith(kReaderKey, values), 1);
    EXPECT_EQ(static_cast<unsigned>(values[0]), sim::CardState().serial);
    EXPECT_EQ(values[1], 12);
    EXPECT_EQ(values[2], 10000);
    EXPECT_EQ(ReadAll(state_), sim::FormatState(sim::CardState()));
}

TEST_F(SimDll, DeductionIsStoredBeforeItIsReportedAndReadBack) {
    WriteState("fourth=0", "fourth=4");
    EXPECT_EQ(DecreaseWith(kReaderKey, 12, 250), 1);
    const sim::CardState stored = StoredState();
    EXPECT_EQ(stored.balance, 9750);
    EXPECT_EQ(stored.fourth, 5);
    int values[4] = {};
    EXPECT_EQ(ReadWith(kReaderKey, values), 1);
    EXPECT_EQ(values[2], 9750);
    EXPECT_EQ(values[3], 5);
    // Written through a temporary file that is gone afterwards.
    EXPECT_EQ(dir_.Files(), std::vector<std::string>{"card.txt"});
}

TEST_F(SimDll, RefusalsReportFailureAndLeaveTheFileAlone) {
    unsigned char otherKey[13];
    std::copy(kReaderKey, kReaderKey + 13, otherKey);
    otherKey[11] ^= 1;
    struct Case {
        const char* what;
        const unsigned char* key;
        int code;
        int amount;
    } cases[] = {
        {"wrong card code", kReaderKey, 13, 100},
        {"negative amount", kReaderKey, 12, -1},
        {"above the balance", kReaderKey, 12, 10001},
        {"key not the reader's", otherKey, 12, 100},
    };
    WriteState();
    const std::string before = ReadAll(state_);
    for (const Case& c : cases) {
        EXPECT_NE(DecreaseWith(c.key, c.code, c.amount), 1) << c.what;
        EXPECT_EQ(ReadAll(state_), before) << c.what;
    }
    // Without WT_init (or after WT_exit) nothing is deducted either.
    EXPECT_NE(decrease_(12, 100), 1);
    EXPECT_EQ(ReadAll(state_), before);
}

TEST_F(SimDll, ReadsFailWithoutCardOrWithAnotherKey) {
    unsigned char otherKey[13] = {};
    int values[4] = {-9, -9, -9, -9};
    WriteState();
    EXPECT_NE(ReadWith(otherKey, values), 1);
    WriteState("present=1", "present=0");
    EXPECT_NE(ReadWith(kReaderKey, values), 1);
    EXPECT_EQ(values[0], -9);
    // The file is read on every call: putting the card back is seen at once.
    init_(0, 9600, 7, kReaderKey);
    EXPECT_NE(readNoBeep_(&values[0], &values[1], &values[2], &values[3]), 1);
    WriteState();
    EXPECT_EQ(readNoBeep_(&values[0], &values[1], &values[2], &values[3]), 1);
    exit_();
}

TEST_F(SimDll, MalformedFileFailsEveryCallWithAMessageAndIsKept) {
    WriteState("balance=10000", "balance=lots");
    const std::string broken = ReadAll(state_);
    CaptureStderr capture;
    int values[4] = {};
    EXPECT_NE(ReadWith(kReaderKey, values), 1);
    EXPECT_NE(DecreaseWith(kReaderKey, 12, 1), 1);
    EXPECT_EQ(ReadAll(state_), broken);  // never replaced by the sample
    const std::string message = capture.Text();
    EXPECT_NE(message.find("malformed state file"), std::string::npos) << message;
    EXPECT_NE(message.find("card.txt"), std::string::npos) << message;
    EXPECT_NE(message.find("balance: not a whole number"), std::string::npos) << message;
    // An empty file and binary rubbish are malformed too, not a crash.
    for (const std::string& rubbish : {std::string(), std::string("\0\xff\xfe=\x01\n=\n", 8)}) {
        WriteAll(state_, rubbish);
        EXPECT_NE(ReadWith(kReaderKey, values), 1);
    }
}

TEST_F(SimDll, CardStateServiceAnswersTheStoredState) {
    char* message = const_cast<char*>("");
    int out[4] = {};
    for (const char* stored : {"0", "1", "2", "-3"}) {
        WriteState("card_state=0", std::string("card_state=") + stored);
        EXPECT_EQ(cardState_("", "", "", "", "000000012", &message, &out[0], &out[1], &out[2], &out[3]),
                  std::stoi(stored));
    }
}

TEST_F(SimDll, DelayImitatesTheSerialLine) {
    WriteState("delay_ms=0", "delay_ms=200");
    int values[4] = {};
    const DWORD start = GetTickCount();
    EXPECT_EQ(ReadWith(kReaderKey, values), 1);  // WT_init and the read: two round trips
    EXPECT_GE(GetTickCount() - start, 380u);
    ScopedEnv fast(L"YKT_SIM_DELAY_MS", L"0");
    const DWORD again = GetTickCount();
    EXPECT_EQ(ReadWith(kReaderKey, values), 1);
    EXPECT_LT(GetTickCount() - again, 150u);
}

}  // namespace
}  // namespace ykt::till
