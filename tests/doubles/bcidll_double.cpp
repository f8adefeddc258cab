// BCIdll.dll double: records the ten arguments of GetCardState in the shared log.
#include <windows.h>

#include <string>

#include "DoubleControl.h"

extern "C" int dbl_enter(const char* function);

namespace {
std::string Show(const char* text) { return text ? "\"" + std::string(text) + "\"" : std::string("null"); }
std::string ShowInt(const int* value) { return value ? std::to_string(*value) : std::string("null"); }
}  // namespace

extern "C" __declspec(dllexport) int __stdcall GetCardState(const char* server, const char* user,
                                                            const char* password, const char* database,
                                                            const char* cardNumber, char** message, int* out1,
                                                            int* out2, int* out3, int* out4) {
    std::string args = Show(server) + "," + Show(user) + "," + Show(password) + "," + Show(database) + "," +
                       Show(cardNumber) + "," + (message ? Show(*message) : std::string("null")) + "," +
                       ShowInt(out1) + "," + ShowInt(out2) + "," + ShowInt(out3) + "," + ShowInt(out4);
    dbl_set_card_state_args(args.c_str());
    dbl_note("GetCardState");
    return dbl_enter("GetCardState");
}
