// The functions of the reader library (irdll.dll) and of the card-state
// service (BCIdll.dll) as this library calls them. Both libraries are the
// vendor's; we import them by these undecorated names.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Opens the reader: 0-based port, baud rate, card sector, 12 key bytes
// followed by a zero byte. The result is not relied on.
int __stdcall WT_init(int port, int rate, int sector, const unsigned char* key);
int __stdcall WT_exit(void);
// 1 when the card was read and the four values filled.
int __stdcall ReadCardNoBeep(int* serial, int* code, int* balance, int* fourth);
int __stdcall ReadCardBeep(int* serial, int* code, int* balance, int* fourth);
// 1 when the amount was deducted from the purse of the card with this code.
int __stdcall Decrease(int code, int amount);

// 2 or more: the card may not be used. The outputs (message and four
// integers) are not read.
int __stdcall GetCardState(const char* server, const char* user, const char* password, const char* database,
                           const char* cardNumber, char** message, int* out1, int* out2, int* out3, int* out4);

#ifdef __cplusplus
}
#endif
