/*
 * Vb_Ykt.dll: identifies card holders and charges their contactless one-card
 * (一卡通) cards through a serial card reader.
 *
 * Seven exports, undecorated names, __stdcall on 32-bit Windows. Every card
 * operation reads the settings from HKEY_LOCAL_MACHINE\SOFTWARE\Velbrook\Lib,
 * opens the reader, does its work and closes the reader before it returns:
 * no export needs another to be called first.
 *
 * Result codes: VB_YKT_OK (0) success, VB_YKT_FAILED (1) failure,
 * VB_YKT_CARD_UNUSABLE (-1) the card was read but the card system reports it
 * as not usable (card-number reads only).
 *
 * Strings
 * -------
 * Strings are byte strings in code page 936, in the layout of the Delphi/C++
 * Builder runtime's long strings. A string is a pointer to its first
 * character; the 8 bytes in front of it hold two 32-bit integers, the
 * reference count (at p-8) and the length in bytes (at p-4); a zero byte
 * follows the last character. The empty string is a null pointer. A count of
 * -1 marks a constant that is never freed. The allocation block starts at p-8.
 *
 * Outputs are passed as the address of the caller's string variable. When
 * the library stores an output it releases what the variable held (count
 * decremented, block freed at 0, constants left alone) and stores a fresh
 * string with count 1. A card-number read that fails leaves the variable
 * untouched; vbDecCard stores "0,0" before it starts, so after any call that
 * got past its argument check the variable holds "0,0" or the new balance.
 * The caller releases an output when done with it (decrement the count; free
 * at 0).
 *
 * Inputs are passed by value; the library takes a reference on entry and
 * drops it on return.
 *
 * Which allocator owns the blocks is decided once, when the library is loaded:
 *  - Shared mode: a module named borlndmm.dll is loaded in the process (a
 *    Delphi or C++ Builder host with the shared memory manager; load it before
 *    this library). All blocks come from its SysGetMem and go back through
 *    its SysFreeMem, so the host's own runtime can free them.
 *  - Process-heap mode: no borlndmm.dll. Blocks come from the process heap. A
 *    C or C++ host builds its inputs with vb_ykt_new_string and releases its
 *    outputs with vb_ykt_release, both below:
 *
 *      char *number = NULL;
 *      if (vbReadCardNo(&number) != VB_YKT_FAILED) printf("%s\n", number);
 *      vb_ykt_release(number);
 *
 * Inputs are always host strings: built by the host runtime (shared mode) or
 * by vb_ykt_new_string (process-heap mode). Never pass a C string literal or
 * a plain char buffer: the library reads the length and takes a reference
 * through the 8 bytes in front of the pointer, which such text does not have.
 *
 * Calling the library
 * -------------------
 *  - One call at a time per process. Every call blocks the calling thread
 *    until the reader library returns (a card read takes a serial round trip
 *    or more), and the reader library is not reentrant; the library itself
 *    takes no lock. A host with several threads serialises its calls.
 *  - Calls from a timer of the host's user-interface thread are supported,
 *    also while the settings dialog is open: its modal loop dispatches the
 *    host's messages, and each card operation reads the settings afresh.
 *  - Loading and freeing the library per transaction is supported: unloading
 *    gives back what it took.
 *  - Result 1 does not say what failed: the key is not 24 characters long,
 *    the settings are missing, no card was read, the deduction was refused or
 *    not confirmed, or the reader library faulted. The card operations show
 *    no message. On the till, `ykt doctor` (beside the library in the
 *    package) checks the files, the settings and one card read, and says
 *    what to do.
 *  - vbDecCard passes the amount (hundredths) to the reader unchanged: the
 *    library does not check its sign or size. The balance output is "0,0"
 *    when no balance could be read back, which after result 0 still means
 *    deducted; any other text is the new balance.
 *  - In serial-number mode (setting YKT_CODEORNO "1") vbDecCard reads the
 *    card lying on the reader and charges it. Pass the ten-digit number that
 *    vbReadCardNo gave for the customer's card: if the card on the reader
 *    now has another serial number (the customer swapped cards), vbDecCard
 *    returns 1 with "0,0" and the reader is not asked to deduct. Earlier
 *    versions charged whatever card lay on the reader; that was a fault. An
 *    empty number, or one that is not exactly ten digits, is not compared
 *    and the card on the reader is charged, as before. In card-code mode the
 *    number passed is the card code the reader charges.
 */
#ifndef VB_YKT_H
#define VB_YKT_H

#include <string.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef VB_YKT_BUILD
#define VB_YKT_API
#else
#define VB_YKT_API __declspec(dllimport)
#endif

#define VB_YKT_OK 0
#define VB_YKT_FAILED 1
#define VB_YKT_CARD_UNUSABLE (-1)

/* The seven exports: ordinal, name, and the bytes of arguments each pops on
 * 32-bit Windows (__stdcall). The library's module definition and the checks
 * of the built file are made from this one table. */
#define VB_YKT_EXPORT_TABLE(X) \
    X(1, vbShowParaForm, 4)    \
    X(2, vbDecCard, 12)        \
    X(3, vbReadCardBeep, 4)    \
    X(4, vbReadCardNo, 4)      \
    X(5, vbCloseCom, 0)        \
    X(6, vbInitCom, 0)         \
    X(7, vbYktExist, 0)
#define VB_YKT_EXPORT_COUNT 7

/* Ordinal 7. Presence probe: returns 0 and does nothing else. */
VB_YKT_API int __stdcall vbYktExist(void);

/* Ordinal 6. Opens and closes the reader with the stored settings: 0 when the
 * stored key has 24 characters and opening and closing raised no error (the
 * reader's own answer is not looked at), else 1. */
VB_YKT_API int __stdcall vbInitCom(void);

/* Ordinal 5. Returns 0; every operation closes the reader itself. */
VB_YKT_API int __stdcall vbCloseCom(void);

/* Ordinal 4. Reads the card on the reader without a beep: 10 digits of the
 * serial number or 9 of the card code (setting YKT_CODEORNO). 0, -1 or 1. */
VB_YKT_API int __stdcall vbReadCardNo(char **cardNo);

/* Ordinal 3. As vbReadCardNo, with the reader's beep. */
VB_YKT_API int __stdcall vbReadCardBeep(char **cardNo);

/* Ordinal 2. Deducts amount from the card's purse and returns the new balance
 * as "units.hundredths,n" (for example "3.45,7"), or "0,0" when it could not
 * be read. 0 means deducted (also with "0,0": never charge again on it).
 * 1 means not confirmed, check the journal before charging again: mostly the
 * card was not charged, but a fault inside the reader library's Decrease also
 * returns 1, and then the card may have been written. Every call leaves its
 * records in the deduction journal (ykt journal --unconfirmed). */
VB_YKT_API int __stdcall vbDecCard(char *cardNo, int amount, char **balance);

/* Ordinal 1. Shows the settings dialog modally over hostWindow; returns 0 when
 * it closes, whether or not anything was saved. */
VB_YKT_API int __stdcall vbShowParaForm(HWND hostWindow);

/* For hosts that load the library at run time (LoadLibrary): the seven
 * exports, bound by ordinal as existing hosts do. */
typedef struct VbYktExports {
    int(__stdcall *vbShowParaForm)(HWND hostWindow);            /* ordinal 1 */
    int(__stdcall *vbDecCard)(char *cardNo, int amount, char **balance); /* 2 */
    int(__stdcall *vbReadCardBeep)(char **cardNo);             /* 3 */
    int(__stdcall *vbReadCardNo)(char **cardNo);               /* 4 */
    int(__stdcall *vbCloseCom)(void);                          /* 5 */
    int(__stdcall *vbInitCom)(void);                           /* 6 */
    int(__stdcall *vbYktExist)(void);                          /* 7 */
} VbYktExports;

/* Fills *exports from the loaded library; nonzero when all seven were found.
 * The members are filled in ordinal order; memcpy keeps the compiler from
 * assuming that a store of one pointer type leaves another unchanged. */
static __inline int vbYktBindExports(HMODULE library, VbYktExports *exports) {
    int ordinal, found = 1;
    for (ordinal = 1; ordinal <= VB_YKT_EXPORT_COUNT; ++ordinal) {
        FARPROC function = GetProcAddress(library, (LPCSTR)(ULONG_PTR)ordinal);
        memcpy((char *)exports + (ordinal - 1) * sizeof function, &function, sizeof function);
        found = found && function != NULL;
    }
    return found;
}

/* Process-heap mode: a fresh string of length bytes of text with count 1;
 * NULL for empty text (the empty string) or when the heap is exhausted. */
static __inline char *vb_ykt_new_string_n(const char *text, size_t length) {
    LONG *block;
    if (length == 0 || length > 0x7FFFFFF0u) return NULL;
    block = (LONG *)HeapAlloc(GetProcessHeap(), 0, 8 + length + 1);
    if (block == NULL) return NULL;
    block[0] = 1;
    block[1] = (LONG)length;
    memcpy(block + 2, text, length);
    ((char *)(block + 2))[length] = '\0';
    return (char *)(block + 2);
}

/* Process-heap mode: a fresh string holding the zero-terminated text. */
static __inline char *vb_ykt_new_string(const char *text) {
    return text == NULL ? NULL : vb_ykt_new_string_n(text, strlen(text));
}

/* Process-heap mode: drops one reference to s and frees the block when none
 * is left. NULL and constants (a negative count) are left alone. */
static __inline void vb_ykt_release(char *s) {
    LONG *count;
    if (s == NULL) return;
    count = (LONG *)s - 2;
    if (*count < 0) return;
    if (InterlockedDecrement(count) == 0) HeapFree(GetProcessHeap(), 0, count);
}

#ifdef __cplusplus
}
#endif

#endif /* VB_YKT_H */
