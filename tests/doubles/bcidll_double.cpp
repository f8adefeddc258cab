// BCIdll.dll double: records the ten arguments of GetCardState in the shared log.
#include <windows.h>

#include <string>

#include "DoubleControl.h"

extern "C" int dbl_enter(const char* function);
extern "C" int dbl_outputs_before_fault(const char* function);
extern "C" void dbl_after_outputs(const char* function);

namespace {
std::string Show(const char* text) { return text ? "\"" + std::string(text) + "\"" : std::string("null"); }
std::string ShowInt(const int* value) { return value ? std::to_string(*value) : std::string("null"); }
}  // namespace

extern "C" __declspec(dllexport) int __stdcall GetCardState(const char* server, const char* user,
                                                            const char* password, const char* database,
                                                            const char* cardNumber, char** message, int* out1,
                                                            int* out2, int* out3, int* out4) {
    if (dbl_quiet()) return dbl_enter("GetCardState");
    std::string args = Show(server) + "," + Show(user) + "," + Show(password) + "," + Show(database) + "," +
                       Show(cardNumber) + "," + (message ? Show(*message) : std::string("null")) + "," +
                       ShowInt(out1) + "," + ShowInt(out2) + "," + ShowInt(out3) + "," + ShowInt(out4);
    dbl_set_card_state_args(args.c_str());
    dbl_note("GetCardState");
    const int result = dbl_enter("GetCardState");
    if (dbl_outputs_before_fault("GetCardState")) {
        // What a service might leave behind before it dies: a message of its
        // own and numbers; the caller reads none of them.
        static char text[] = "service message";
        *message = text;
        *out1 = *out2 = *out3 = *out4 = 99;
    }
    dbl_after_outputs("GetCardState");
    return result;
}
