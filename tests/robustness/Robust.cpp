#include "Robust.h"

#include "CallChecked.h"
#include "TestRun.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ykt::test {

namespace {

int g_soakOperations = 0;
bool g_quick = false;

std::string CardNumber(bool serialMode) { return serialMode ? "0000001001" : "000000012"; }  // the double's card

const char* const kBalance = "3.45,7";

#if defined(__i386__)
void* SehHead() {
    void* head;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
    return head;
}
#endif

// Calls an export with its arguments; fills the register and chain checks.
int Invoke(void* fn, std::initializer_list<const void*> args, Call& call) {
    int result = -99;
    (void)call;
#if defined(__i386__)
    void* const headBefore = SehHead();
    const CheckedCall checked = CallChecked(fn, static_cast<int>(args.size()), args.begin());
    result = checked.result;
    call.registersChanged = checked.registersChanged;
    call.sehChainChanged = SehHead() != headBefore;
#else
    const void* const* a = args.begin();
    switch (args.size()) {
    case 0: result = reinterpret_cast<int (*)()>(fn)(); break;
    case 1: result = reinterpret_cast<int (*)(const void*)>(fn)(a[0]); break;
    default:
        result = reinterpret_cast<int (*)(const void*, std::intptr_t, const void*)>(fn)(
            a[0], reinterpret_cast<std::intptr_t>(a[1]), a[2]);
    }
#endif
    return result;
}

}  // namespace

const std::vector<Variant>& AllVariants() {
    static const std::vector<Variant> variants = {
        {"vbInitCom", Export::InitCom, false, false},
        {"vbReadCardNo", Export::ReadCardNo, false, false},
        {"vbReadCardNo+state", Export::ReadCardNo, true, false},
        {"vbReadCardBeep", Export::ReadCardBeep, false, false},
        {"vbReadCardBeep+state+serial", Export::ReadCardBeep, true, true},
        {"vbDecCard+code", Export::DecCard, false, false},
        {"vbDecCard+serial", Export::DecCard, false, true},
    };
    return variants;
}

std::vector<Step> Steps(const Variant& v, const Effective& e) {
    if (e.textUnreadable || !e.keyOk) return {};
    std::vector<Step> steps;
    steps.push_back({"WT_init", "WT_init(" + std::to_string(e.port) + "," + std::to_string(e.rate) + "," +
                                    std::to_string(e.sector) + "," + kKey + "00)"});
    switch (v.which) {
    case Export::InitCom: break;
    case Export::ReadCardNo:
    case Export::ReadCardBeep:
        steps.push_back({v.which == Export::ReadCardNo ? "ReadCardNoBeep" : "ReadCardBeep", ""});
        if (e.stateCheck) steps.push_back({"GetCardState", ""});
        break;
    case Export::DecCard:
        if (e.serialMode) steps.push_back({"ReadCardNoBeep", ""});
        steps.push_back({"Decrease", "Decrease(12," + std::to_string(kAmount) + ")"});
        steps.push_back({"ReadCardBeep", ""});
        break;
    }
    steps.push_back({"WT_exit", ""});
    for (Step& s : steps)
        if (s.line.empty()) s.line = s.function;
    return steps;
}

Outcome Undisturbed(const Variant& v, const Effective& e) {
    const bool touched = !Steps(v, e).empty();
    switch (v.which) {
    case Export::InitCom: return {touched ? 0 : 1, std::nullopt};
    case Export::DecCard: return {touched ? 0 : 1, std::string(touched ? kBalance : "0,0")};
    default:
        if (!touched) return {1, std::nullopt};
        return {0, CardNumber(e.serialMode)};
    }
}

Outcome AfterFault(const Variant& v, const std::string& function) {
    switch (v.which) {
    case Export::InitCom: return {1, std::nullopt};
    case Export::DecCard:
        // Once Decrease has reported the deduction, the result is 0 whatever follows.
        if (function == "WT_exit") return {0, std::string(kBalance)};
        if (function == "ReadCardBeep") return {0, std::string("0,0")};
        return {1, std::string("0,0")};
    default:
        // A card that was read stays read: a broken state service or a fault
        // while closing does not take the number back.
        if (function == "GetCardState" || function == "WT_exit") return {0, CardNumber(v.serialMode)};
        return {1, std::nullopt};
    }
}

std::string LogUpTo(const std::vector<Step>& steps, std::size_t last) {
    std::string log;
    for (std::size_t i = 0; i <= last && i < steps.size(); ++i) log += steps[i].line + "\n";
    const std::string& function = steps[last].function;
    if (function != "WT_init" && function != "WT_exit") log += "WT_exit\n";
    return log;
}

std::string LogOf(const std::vector<Step>& steps) {
    std::string log;
    for (const Step& s : steps) log += s.line + "\n";
    return log;
}

std::string StoredValue(const Variant& v, const std::string& name) {
    if (name == "YKT_PORT") return "2";
    if (name == "YKT_RATE") return "9600";
    if (name == "YKT_SECTOR") return "7";
    if (name == "YKT_KEY") return kKey;
    if (name == "YKT_AUTO") return "1";
    if (name == "YKT_STEPSEC") return "1500";
    if (name == "YKT_DBSATAUS") return v.stateCheck ? "1" : "0";
    if (name == "YKT_DBIPADDR") return "10.0.0.5";
    if (name == "YKT_DBNAME") return "ykt";
    if (name == "YKT_DBUSER") return "sa";
    if (name == "YKT_DBPASS") return "37003737";  // "pw" scrambled
    return v.serialMode ? "1" : "0";               // YKT_CODEORNO
}

void WriteStore(const Variant& v) {
    DeleteSettings();
    for (const char* name : kAllSettings) SetSetting(name, StoredValue(v, name));
}

Call CallExport(const HostLib& lib, const Variant& v) {
    Call call;
    const Exports& api = lib.api();
    if (v.which == Export::InitCom) {
        call.result = Invoke(reinterpret_cast<void*>(api.vbInitCom), {}, call);
        call.outputUntouched = true;
        return call;
    }
    // The host keeps a second reference to what the variable held, so the
    // block stays where it is and we can see whether exactly one reference
    // was dropped.
    char* const old = lib.NewString("OLD", 2);
    char* variable = old;
    char* input = nullptr;
    if (v.which == Export::DecCard) {
        input = lib.NewString(kHostCardNumber);
        call.result = Invoke(reinterpret_cast<void*>(api.vbDecCard),
                             {input, reinterpret_cast<const void*>(static_cast<std::intptr_t>(kAmount)), &variable},
                             call);
        EXPECT_EQ(RefCount(input), 1) << "the input's reference was not given back";
        EXPECT_EQ(Text(input), kHostCardNumber);
    } else {
        void* fn = reinterpret_cast<void*>(v.which == Export::ReadCardNo ? api.vbReadCardNo : api.vbReadCardBeep);
        call.result = Invoke(fn, {&variable}, call);
    }
    call.outputUntouched = variable == old;
    EXPECT_EQ(Text(old), "OLD");
    EXPECT_EQ(RefCount(old), call.outputUntouched ? 2 : 1) << "the old content must lose exactly one reference";
    if (!call.outputUntouched && variable) {
        EXPECT_EQ(RefCount(variable), 1) << "an output must be a fresh string";
        EXPECT_EQ(static_cast<std::size_t>(Length(variable)), std::strlen(variable));
    }
    call.output = Text(variable);
    if (call.outputUntouched) lib.Release(old);
    lib.Release(old);
    if (!call.outputUntouched) lib.Release(variable);
    lib.Release(input);
    return call;
}

int SoakOperations() { return g_soakOperations > 0 ? g_soakOperations : g_quick ? 100 : 5000; }

bool Quick() { return g_quick; }

}  // namespace ykt::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--soak-ops=", 11) == 0) ykt::test::g_soakOperations = std::atoi(argv[i] + 11);
        if (std::strcmp(argv[i], "--quick") == 0) ykt::test::g_quick = true;
    }
    // A crash must end the run with a message, not a debugger prompt.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return ykt::test::RunSelectedTests();
}
