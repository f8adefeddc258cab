// irdll.dll double: a scripted reader that writes down what it was asked.
#define YKT_DOUBLE_BUILD
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "DoubleControl.h"

namespace {

struct Script {
    std::map<std::string, int> results;
    std::map<std::string, int> faults;
    int card[4] = {1001, 12, 345, 7};
};

Script g_script;
std::string g_log;
std::string g_cardStateArgs;
bool g_quiet = false;

// Functions with outputs, where kAccessViolationAfterOutputs waits until the
// outputs are written (dbl_after_outputs).
bool WritesOutputs(const std::string& function) {
    return function == "ReadCardNoBeep" || function == "ReadCardBeep" || function == "GetCardState";
}

int FaultOf(const char* function) {
    auto fault = g_script.faults.find(function);
    return fault == g_script.faults.end() ? kNoFault : fault->second;
}

// Deep enough for any stack Windows gives a thread; volatile so that the
// recursion can neither be folded nor stop early.
volatile int g_depthLimit = 1 << 30;

__attribute__((noinline)) int Overflow(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth == g_depthLimit) return frame[0];
    return Overflow(depth + 1) + frame[0];
}

void Reset() {
    g_script = Script();
    g_script.results = {{"WT_init", 0}, {"WT_exit", 0}, {"ReadCardNoBeep", 1}, {"ReadCardBeep", 1},
                        {"Decrease", 1},  {"GetCardState", 0}};
    g_log.clear();
    g_cardStateArgs.clear();
}

struct Init {
    Init() { Reset(); }
} g_init;

}  // namespace

extern "C" {

YKT_DOUBLE_API void dbl_reset(void) { Reset(); }
YKT_DOUBLE_API void dbl_set_result(const char* function, int result) { g_script.results[function] = result; }
YKT_DOUBLE_API void dbl_set_fault(const char* function, int fault) { g_script.faults[function] = fault; }
YKT_DOUBLE_API void dbl_set_card(int serial, int code, int balance, int fourth) {
    g_script.card[0] = serial;
    g_script.card[1] = code;
    g_script.card[2] = balance;
    g_script.card[3] = fourth;
}
YKT_DOUBLE_API const char* dbl_log(void) { return g_log.c_str(); }
YKT_DOUBLE_API void dbl_note(const char* entry) {
    if (g_quiet) return;
    g_log += entry;
    g_log += '\n';
}
YKT_DOUBLE_API const char* dbl_card_state_args(void) { return g_cardStateArgs.c_str(); }
YKT_DOUBLE_API void dbl_set_card_state_args(const char* args) { g_cardStateArgs = args; }
YKT_DOUBLE_API void dbl_set_quiet(int quiet) { g_quiet = quiet != 0; }
YKT_DOUBLE_API int dbl_quiet(void) { return g_quiet ? 1 : 0; }

// Faults happen after the call is logged, as inside a real library.
YKT_DOUBLE_API int dbl_enter(const char* function) {
    const int fault = FaultOf(function);
    if (fault == kAccessViolation || (fault == kAccessViolationAfterOutputs && !WritesOutputs(function)))
        *static_cast<volatile int*>(nullptr) = 1;
    if (fault == kForeignException) RaiseException(YKT_FOREIGN_EXCEPTION_CODE, 0, 0, nullptr);
    if (fault == kStackOverflow) Overflow(0);
    if (fault == kTerminateProcess) TerminateProcess(GetCurrentProcess(), YKT_TERMINATED_EXIT_CODE);
    return g_script.results[function];
}

// The second half of kAccessViolationAfterOutputs: called once the outputs are
// written. True when the outputs must be written although the result says no.
YKT_DOUBLE_API int dbl_outputs_before_fault(const char* function) {
    return FaultOf(function) == kAccessViolationAfterOutputs ? 1 : 0;
}
YKT_DOUBLE_API void dbl_after_outputs(const char* function) {
    if (FaultOf(function) == kAccessViolationAfterOutputs) *static_cast<volatile int*>(nullptr) = 1;
}

YKT_DOUBLE_API int __stdcall WT_init(int port, int rate, int sector, const unsigned char* key) {
    if (g_quiet) return dbl_enter("WT_init");
    char entry[128];
    int n = std::snprintf(entry, sizeof entry, "WT_init(%d,%d,%d,", port, rate, sector);
    for (int i = 0; i < 13; ++i) n += std::snprintf(entry + n, sizeof entry - n, "%02X", key[i]);
    std::snprintf(entry + n, sizeof entry - n, ")");
    dbl_note(entry);
    return dbl_enter("WT_init");
}

YKT_DOUBLE_API int __stdcall WT_exit(void) {
    dbl_note("WT_exit");
    return dbl_enter("WT_exit");
}

static int Read(const char* function, int* serial, int* code, int* balance, int* fourth) {
    dbl_note(function);
    const int result = dbl_enter(function);
    if (result == 1 || dbl_outputs_before_fault(function)) {
        *serial = g_script.card[0];
        *code = g_script.card[1];
        *balance = g_script.card[2];
        *fourth = g_script.card[3];
    }
    dbl_after_outputs(function);
    return result;
}

YKT_DOUBLE_API int __stdcall ReadCardNoBeep(int* serial, int* code, int* balance, int* fourth) {
    return Read("ReadCardNoBeep", serial, code, balance, fourth);
}

YKT_DOUBLE_API int __stdcall ReadCardBeep(int* serial, int* code, int* balance, int* fourth) {
    return Read("ReadCardBeep", serial, code, balance, fourth);
}

YKT_DOUBLE_API int __stdcall Decrease(int code, int amount) {
    if (g_quiet) return dbl_enter("Decrease");
    char entry[64];
    std::snprintf(entry, sizeof entry, "Decrease(%d,%d)", code, amount);
    dbl_note(entry);
    return dbl_enter("Decrease");
}

}  // extern "C"
