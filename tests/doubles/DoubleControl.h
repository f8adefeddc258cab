// Control of the test doubles of irdll.dll, BCIdll.dll and borlndmm.dll. The
// doubles record every call in one log (in call order, across both vendor
// doubles) and can be scripted: results, card values, faults.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#ifdef YKT_DOUBLE_BUILD
#define YKT_DOUBLE_API __declspec(dllexport)
#else
#define YKT_DOUBLE_API __declspec(dllimport)
#endif

enum DoubleFault {
    kNoFault = 0,
    kAccessViolation = 1,   // a write through a null pointer
    kForeignException = 2,  // RaiseException with another runtime's code
    // Reads and GetCardState: the outputs are written first (card values,
    // message, integers), then the access violation, as a library that fails
    // half-way through would leave them. Other functions: as kAccessViolation.
    kAccessViolationAfterOutputs = 3,
    // The host process ends inside the call (TerminateProcess, exit code
    // YKT_TERMINATED_EXIT_CODE), as when the till is killed or the power fails.
    kTerminateProcess = 4,
    kStackOverflow = 5,  // recursion until the stack is used up
};
#define YKT_TERMINATED_EXIT_CODE 77

// Code of the foreign exception the doubles raise (the code a Delphi runtime uses).
#define YKT_FOREIGN_EXCEPTION_CODE 0x0EEDFADEu

// irdll.dll double; function names are "WT_init", "WT_exit", "ReadCardNoBeep",
// "ReadCardBeep", "Decrease"; the BCIdll.dll double uses "GetCardState".
YKT_DOUBLE_API void dbl_reset(void);
YKT_DOUBLE_API void dbl_set_result(const char* function, int result);
YKT_DOUBLE_API void dbl_set_fault(const char* function, int fault);
YKT_DOUBLE_API void dbl_set_card(int serial, int code, int balance, int fourth);
// The call log: one entry per call, each ended by '\n', e.g.
// "WT_init(2,9600,7,5A3C96E1B74D2F08C5A17E3900)\nReadCardNoBeep\nWT_exit\n".
YKT_DOUBLE_API const char* dbl_log(void);
YKT_DOUBLE_API void dbl_note(const char* entry);
// Set by the BCIdll double: what the last GetCardState received.
YKT_DOUBLE_API const char* dbl_card_state_args(void);
YKT_DOUBLE_API void dbl_set_card_state_args(const char* args);
// Quiet mode (1): nothing is logged or recorded, so a call costs only its
// script look-up (benchmarks). dbl_reset leaves the mode as it is.
YKT_DOUBLE_API void dbl_set_quiet(int quiet);
YKT_DOUBLE_API int dbl_quiet(void);

// borlndmm.dll double: blocks handed out and not yet freed; frees of blocks it
// does not know (double frees included).
YKT_DOUBLE_API int bmm_live_blocks(void);
YKT_DOUBLE_API int bmm_bad_frees(void);
YKT_DOUBLE_API int bmm_total_gets(void);
// After `gets` more successful SysGetMem calls, every later one fails the
// given way, until the next bmm_fail_after; gets -1 switches failing off.
enum AllocFailure {
    kAllocNull = 1,   // SysGetMem returns null
    kAllocFault = 2,  // an access violation inside SysGetMem
};
YKT_DOUBLE_API void bmm_fail_after(int gets, int failure);

#ifdef __cplusplus
}
#endif
