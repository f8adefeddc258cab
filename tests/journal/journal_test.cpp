// The deduction journal through the real vbDecCard, over the doubles.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostFixture.h"
#include "JournalFiles.h"
#include "TestRun.h"
#include "core/journal/JournalRecord.h"
#include "journal/FolderSecurity.h"

namespace ykt::test {
namespace {

using journal::Book;
using journal::Event;
using journal::Outcome;
using journal::Record;

struct Call {
    int result;
    std::string balance;
    std::string log;
};

using ykt::kDefaultKey;

// The borlndmm double's failing allocator, in shared mode (it is loaded by the host, not linked).
void FailAllocationsAfter(int gets) {
    using FailAfter = void (*)(int, int);
    HMODULE borlndmm = GetModuleHandleW(L"borlndmm.dll");
    auto fail = borlndmm ? reinterpret_cast<FailAfter>(reinterpret_cast<void*>(GetProcAddress(borlndmm, "bmm_fail_after")))
                         : nullptr;
    if (fail) fail(gets, kAllocNull);
}

class Journaled : public HostTest {
protected:
    void SetUp() override {
        ClearJournal();
        WriteDefaultSettings();
        HostTest::SetUp();
    }
    void TearDown() override {
        HostTest::TearDown();
        SetFileAttributesW(ThisMonthFile().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // failAfter: the host's allocator fails after that many more blocks (shared mode).
    Call Deduct(const std::string& cardNumber, int amount, int failAfter = -1) {
        char* input = lib().NewString(cardNumber);
        char* output = nullptr;
        if (failAfter >= 0) FailAllocationsAfter(failAfter);
        Call call;
        call.result = api().vbDecCard(input, amount, &output);
        call.balance = output ? Text(output) : "<untouched>";
        call.log = Log();
        if (failAfter >= 0) FailAllocationsAfter(-1);
        lib().Release(output);
        lib().Release(input);
        return call;
    }
};

// ---- every outcome -----------------------------------------------------------

struct Expected {
    Event event;
    Outcome outcome;
    const char* mode;
    const char* decrease;  // nullptr: no Decrease field
    const char* detail;
};

struct OutcomeCase {
    const char* name;
    void (*arrange)(HostLib&);
    int failAfter;  // >= 0: the host's allocator fails after so many blocks (shared mode only)
    const char* cardNumber;
    int result;
    const char* balance;
    std::vector<Expected> records;
};

const std::vector<OutcomeCase>& OutcomeCases() {
    static const std::vector<OutcomeCase> cases = {
        {"key of 23 characters", [](HostLib&) { SetSetting("YKT_KEY", std::string(kDefaultKey).substr(1)); }, -1,
         "12", 1, "0,0", {{Event::kStop, Outcome::kStopped, "", nullptr, "bad_key"}}},
        {"serial mode, no card",
         [](HostLib&) { SetSetting("YKT_CODEORNO", "1"), dbl_set_result("ReadCardNoBeep", 0); }, -1, "", 1, "0,0",
         {{Event::kStop, Outcome::kStopped, "serial", nullptr, "no_card"}}},
        {"serial mode, another card on the reader",
         [](HostLib&) { SetSetting("YKT_CODEORNO", "1"), dbl_set_card(1001, 12, 345, 7); }, -1, "0000001002", 1,
         "0,0", {{Event::kStop, Outcome::kStopped, "serial", nullptr, "wrong_card"}}},
        {"not a number", [](HostLib&) {}, -1, "12a", 1, "0,0",
         {{Event::kStop, Outcome::kStopped, "code", nullptr, "not_a_number"}}},
        {"fault in WT_init", [](HostLib&) { dbl_set_fault("WT_init", kAccessViolation); }, -1, "12", 1, "0,0",
         {{Event::kStop, Outcome::kStopped, "code", nullptr, "fault"}}},
        {"refused", [](HostLib&) { dbl_set_result("Decrease", 0); }, -1, "12", 1, "0,0",
         {{Event::kStart, Outcome::kNone, "code", "", ""}, {Event::kFinish, Outcome::kRefused, "code", "0", ""}}},
        {"charged, balance read", [](HostLib&) {}, -1, "000000012", 0, "3.45,7",
         {{Event::kStart, Outcome::kNone, "code", "", ""}, {Event::kFinish, Outcome::kCharged, "code", "1", ""}}},
        {"charged in serial mode, no balance read",
         [](HostLib&) { SetSetting("YKT_CODEORNO", "1"), dbl_set_result("ReadCardBeep", 0); }, -1, "", 0, "0,0",
         {{Event::kStart, Outcome::kNone, "serial", "", ""}, {Event::kFinish, Outcome::kCharged, "serial", "1", ""}}},
        {"access violation inside Decrease", [](HostLib&) { dbl_set_fault("Decrease", kAccessViolation); }, -1,
         "12", 1, "0,0",
         {{Event::kStart, Outcome::kNone, "code", "", ""},
          {Event::kFinish, Outcome::kUnconfirmed, "code", "fault C0000005", ""}}},
        {"foreign exception inside Decrease", [](HostLib&) { dbl_set_fault("Decrease", kForeignException); }, -1,
         "12", 1, "0,0",
         {{Event::kStart, Outcome::kNone, "code", "", ""},
          {Event::kFinish, Outcome::kUnconfirmed, "code", "fault 0EEDFADE", ""}}},
        {"fault after Decrease", [](HostLib&) { dbl_set_fault("ReadCardBeep", kAccessViolation); }, -1, "12", 0,
         "0,0",
         {{Event::kStart, Outcome::kNone, "code", "", ""}, {Event::kFinish, Outcome::kCharged, "code", "1", ""}}},
        {"allocation failure after the charge", [](HostLib&) {}, 1, "12", 0,
         "0,0",
         {{Event::kStart, Outcome::kNone, "code", "", ""}, {Event::kFinish, Outcome::kCharged, "code", "1", ""}}},
        {"balance variable cannot be written", [](HostLib&) {}, 0, "12", 1,
         "<untouched>", {{Event::kStop, Outcome::kStopped, "", nullptr, "no_output"}}},
    };
    return cases;
}

class JournalOutcomes : public Journaled {};
YKT_BOTH_MODES(JournalOutcomes);

TEST_P(JournalOutcomes, EachOutcomeLeavesItsRecordsAndResult) {
    for (const OutcomeCase& c : OutcomeCases()) {
        if (c.failAfter >= 0 && lib().mode() != AllocMode::Shared) continue;
        SCOPED_TRACE(c.name);
        ClearJournal();
        WriteDefaultSettings();
        dbl_reset();
        c.arrange(lib());
        const Call call = Deduct(c.cardNumber, 250, c.failAfter);
        EXPECT_EQ(call.result, c.result);
        EXPECT_EQ(call.balance, c.balance);

        const std::string text = JournalText();
        EXPECT_EQ(text.substr(0, journal::kHeader.size() + 2), std::string(journal::kHeader) + "\r\n");
        std::vector<Record> records;
        std::size_t at = text.find('\n') + 1;
        for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
            const auto record = journal::ParseRecord(text.substr(at, end + 1 - at));
            EXPECT_TRUE(record) << "not a record: " << text.substr(at, end + 1 - at);
            if (record) records.push_back(*record);
        }
        EXPECT_EQ(at, text.size()) << "the last line has no end";
        ASSERT_EQ(records.size(), c.records.size()) << text;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const Record& r = records[i];
            const Expected& e = c.records[i];
            SCOPED_TRACE("record " + std::to_string(i) + ": " + journal::FormatRecord(r));
            EXPECT_EQ(r.event, e.event);
            EXPECT_STREQ(journal::OutcomeName(r.outcome), journal::OutcomeName(e.outcome));
            EXPECT_EQ(r.mode, e.mode);
            EXPECT_EQ(r.pid, GetCurrentProcessId());
            EXPECT_EQ(r.amount, 250);
            EXPECT_EQ(r.cardNumber, c.cardNumber);
            EXPECT_EQ(r.detail, e.detail);
            if (e.decrease) {
                EXPECT_EQ(r.cardCode, 12);
                EXPECT_EQ(r.decrease, e.decrease);
                EXPECT_EQ(r.call, records[0].call) << "a finish must name its start";
            } else {
                EXPECT_FALSE(r.cardCode);
            }
            if (r.event != Event::kStart) {
                EXPECT_EQ(r.result, c.result);
                EXPECT_EQ(r.balance, c.balance == std::string("<untouched>") ? "" : c.balance);
            }
        }
        for (const Record& r : records)
            EXPECT_EQ(journal::FormatRecord(r).find(kDefaultKey), std::string::npos) << "the key is in the journal";
    }
}

TEST_P(JournalOutcomes, LongCardNumbersAreCutAndTheirLengthNamed) {
    Deduct(std::string(1 << 20, '1'), 1);
    const Book book = JournalBook();
    ASSERT_EQ(book.entries.size(), 1u);
    EXPECT_EQ(book.entries[0].first.cardNumber, std::string(journal::kCardNumberKept, '1'));
    EXPECT_EQ(book.entries[0].first.detail, "not_a_number;number_bytes=1048576");
}

// ---- a journal that cannot be written ------------------------------------------

class UnwritableJournal : public Journaled {};
YKT_BOTH_MODES(UnwritableJournal);

TEST_P(UnwritableJournal, LeavesEveryResultAsWithTheJournalOff) {
    const std::wstring folder = JournalDir();
    const std::wstring parent = folder.substr(0, folder.rfind(L'\\'));
    const struct {
        const char* name;
        void (*make)(const std::wstring& folder, const std::wstring& parent);
    } kinds[] = {
        {"a file where the folder should be",
         [](const std::wstring& folder, const std::wstring& parent) {
             CreateDirectoryW(parent.substr(0, parent.rfind(L'\\')).c_str(), nullptr);
             CreateDirectoryW(parent.c_str(), nullptr);
             CloseHandle(CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
         }},
        {"a file where a parent folder should be",
         [](const std::wstring&, const std::wstring& parent) {
             CreateDirectoryW(parent.substr(0, parent.rfind(L'\\')).c_str(), nullptr);
             CloseHandle(CreateFileW(parent.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
         }},
        {"a folder in the place of the month's file",
         [](const std::wstring& folder, const std::wstring& parent) {
             CreateDirectoryW(parent.substr(0, parent.rfind(L'\\')).c_str(), nullptr);
             CreateDirectoryW(parent.c_str(), nullptr);
             CreateDirectoryW(folder.c_str(), nullptr);
             CreateDirectoryW(ThisMonthFile().c_str(), nullptr);
         }},
    };
    const struct {
        const char* name;
        void (*arrange)();
    } calls[] = {
        {"charged", [] {}},
        {"refused", [] { dbl_set_result("Decrease", 0); }},
        {"fault inside Decrease", [] { dbl_set_fault("Decrease", kAccessViolation); }},
        {"bad key", [] { SetSetting("YKT_KEY", "0"); }},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.name);
        ClearJournal();
        WriteDefaultSettings();
        SetSetting("YKT_JOURNAL", "0");
        dbl_reset();
        call.arrange();
        const Call off = Deduct("12", 250);
        EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "switched off, yet written";

        for (const auto& kind : kinds) {
            SCOPED_TRACE(kind.name);
            ClearJournal();
            WriteDefaultSettings();
            kind.make(folder, parent);
            const std::string before = JournalText();
            dbl_reset();
            call.arrange();
            const DWORD started = GetTickCount();
            const Call on = Deduct("12", 250);
            const DWORD took = GetTickCount() - started;
            EXPECT_EQ(on.result, off.result);
            EXPECT_EQ(on.balance, off.balance);
            EXPECT_EQ(on.log, off.log);
            EXPECT_EQ(JournalText(), before);
            EXPECT_LT(took, 1000u) << "ms for one call";
        }

        // Held by another program that lets nobody write (as Excel holds a
        // file it shows): the call waits a moment at most, then goes on.
        ClearJournal();
        WriteDefaultSettings();
        Deduct("12a", 1);
        HANDLE held = CreateFileW(ThisMonthFile().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        dbl_reset();
        call.arrange();
        const DWORD started = GetTickCount();
        const Call on = Deduct("12", 250);
        const DWORD took = GetTickCount() - started;
        CloseHandle(held);
        EXPECT_EQ(on.result, off.result) << "file held open";
        EXPECT_EQ(on.balance, off.balance) << "file held open";
        EXPECT_EQ(on.log, off.log) << "file held open";
        EXPECT_LT(took, 1000u) << "ms for one call with the file held open";
    }
}

// ---- the folder's access rules -------------------------------------------------

TEST(JournalFolderRules, UsersMayCreateAndAppendAndNothingIsInherited) {
    ASSERT_TRUE(journal::FolderSecurity().valid()) << "the rules cannot be built: error " << GetLastError();
    ClearJournal();
    HostLib lib(AllocMode::ProcessHeap);
    WriteDefaultSettings();
    dbl_reset();
    char* balance = nullptr;
    lib.api().vbDecCard(nullptr, 1, &balance);
    lib.Release(balance);

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(JournalDir().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    // Wine keeps no rules on folders: there the rules the library gives are
    // read back from the descriptor it builds; Windows keeps them on the folder.
    journal::FolderSecurity built;
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (wine && !(control & SE_DACL_PROTECTED)) {
        BOOL present = FALSE, defaulted = FALSE;
        descriptor = nullptr;
        dacl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(built.attributes()->lpSecurityDescriptor, &present, &dacl, &defaulted));
        GetSecurityDescriptorControl(built.attributes()->lpSecurityDescriptor, &control, &revision);
        std::printf("note: wine keeps no folder rules; checking the descriptor the library gives\n");
    }
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "control " << control;
    ASSERT_TRUE(dacl);

    BYTE system[SECURITY_MAX_SID_SIZE], admins[SECURITY_MAX_SID_SIZE], users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof system;
    CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
    size = sizeof admins;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size);
    size = sizeof users;
    CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size);
    const struct {
        const char* who;
        PSID sid;
        BYTE flags;
        DWORD mask;
    } expected[] = {
        {"SYSTEM", system, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS},
        {"Administrators", admins, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS},
        {"Users on the folder", users, 0, journal::FolderSecurity::kUsersOnFolder},
        {"Users on the files", users, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE, journal::FolderSecurity::kUsersOnFiles},
    };
    ASSERT_EQ(dacl->AceCount, 4u);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &raw));
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << expected[i].who;
        EXPECT_EQ(ace->Header.AceFlags, expected[i].flags) << expected[i].who;
        EXPECT_EQ(ace->Mask, expected[i].mask) << expected[i].who << ": mask 0x" << std::hex << ace->Mask;
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i].sid)) << expected[i].who;
    }
    // What Users get on the files: they read and append, they never rewrite.
    EXPECT_TRUE(journal::FolderSecurity::kUsersOnFiles & FILE_APPEND_DATA);
    EXPECT_FALSE(journal::FolderSecurity::kUsersOnFiles & (FILE_WRITE_DATA | DELETE | WRITE_DAC));
    EXPECT_FALSE(journal::FolderSecurity::kUsersOnFolder & (FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | WRITE_DAC));
    if (descriptor) LocalFree(descriptor);
}

// ---- hosts in processes of their own --------------------------------------------

std::wstring Self() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

TEST(JournalHosts, AHostKilledInsideDecreaseLeavesAStartWithoutFinish) {
    ClearJournal();
    WriteDefaultSettings();
    std::string output;
    EXPECT_EQ(RunProgram(Quoted(Self()) + L" --host=die-in-decrease", output),
              static_cast<DWORD>(YKT_TERMINATED_EXIT_CODE))
        << output;
    const Book book = JournalBook();
    ASSERT_EQ(book.entries.size(), 1u) << JournalText();
    EXPECT_EQ(book.entries[0].first.event, Event::kStart);
    EXPECT_FALSE(book.entries[0].finish);
    EXPECT_EQ(book.entries[0].outcome, Outcome::kUnconfirmed);
    EXPECT_EQ(book.unreadable, 0u);

    // The till folder the build lays out: simulators, the library and ykt.exe.
    const std::wstring self = Self();
    const std::wstring ykt = Quoted(self.substr(0, self.rfind(L'\\') + 1) + L"simulator\\ykt.exe");
    EXPECT_EQ(RunProgram(ykt + L" journal --unconfirmed", output), 0u) << output;
    EXPECT_NE(output.find("未确认"), std::string::npos) << output;
    EXPECT_NE(output.find("000000012"), std::string::npos) << output;
    EXPECT_NE(output.find("2.50"), std::string::npos) << output;
    RunProgram(ykt + L" doctor", output);
    const std::size_t part = output.find("扣款记录");
    ASSERT_NE(part, std::string::npos) << output;
    EXPECT_NE(output.find("[警告]", part), std::string::npos) << output.substr(part);
    EXPECT_NE(output.find("000000012", part), std::string::npos) << output.substr(part);
}

TEST(JournalHosts, TwoHostsAppendingAtOnceLoseAndTearNoLine) {
    ClearJournal();
    WriteDefaultSettings();
    constexpr int kEach = 1000;
    PROCESS_INFORMATION hosts[2]{};
    for (auto& host : hosts) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring line = Quoted(Self()) + L" --host=deduct-many " + std::to_wstring(kEach);
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &host));
    }
    for (auto& host : hosts) {
        EXPECT_EQ(WaitForSingleObject(host.hProcess, 240000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(host.hProcess, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(host.hThread);
        CloseHandle(host.hProcess);
    }
    const std::string text = JournalText();
    std::size_t lines = 0, records = 0;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        ++lines;
        const std::string line = text.substr(at, end + 1 - at);
        if (line == std::string(journal::kHeader) + "\r\n") continue;
        EXPECT_TRUE(line.size() > 2 && line[line.size() - 2] == '\r') << line;
        if (journal::ParseRecord(line)) ++records;
        else ADD_FAILURE() << "torn or mixed line: " << line;
    }
    EXPECT_EQ(records, 4u * kEach);
    EXPECT_EQ(lines, 4u * kEach + 1) << "one header";
    const Book book = JournalBook();
    std::size_t charged = 0;
    for (const auto& entry : book.entries) charged += entry.outcome == Outcome::kCharged && entry.finish;
    EXPECT_EQ(charged, 2u * kEach);
}

// The host side of the tests above, in a process of its own.
int Host(const std::string& what, int count) {
    HostLib lib(AllocMode::ProcessHeap);
    if (what == "die-in-decrease") dbl_set_fault("Decrease", kTerminateProcess);
    if (what == "deduct-many") dbl_set_quiet(1);
    char* number = lib.NewString("000000012");
    for (int i = 0; i < count; ++i) {
        char* balance = nullptr;
        if (lib.api().vbDecCard(number, 250, &balance) != 0) return 1;
        lib.Release(balance);
    }
    lib.Release(number);
    return 0;
}

}  // namespace
}  // namespace ykt::test

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "--host=", 7) == 0)
        return ykt::test::Host(argv[1] + 7, argc >= 3 ? std::atoi(argv[2]) : 1);
    testing::InitGoogleTest(&argc, argv);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return ykt::test::RunSelectedTests();
}
