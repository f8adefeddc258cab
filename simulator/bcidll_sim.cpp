// BCIdll.dll simulator: the card system's card-state query answers the
// card_state of the state file, whatever card number it is asked about.
// The outputs (message and four integers) are left as the caller set them.
#include <windows.h>

#include "SimCard.h"
#include "SimStore.h"

extern "C" __declspec(dllexport) int __stdcall GetCardState(const char* /*server*/, const char* /*user*/,
                                                            const char* /*password*/, const char* /*database*/,
                                                            const char* /*cardNumber*/, char** /*message*/,
                                                            int* /*out1*/, int* /*out2*/, int* /*out3*/,
                                                            int* /*out4*/) {
    try {
        const auto state = ykt::sim::LoadState(ykt::sim::ThisModule(), "BCIdll simulator");
        // No answer from the card system: the caller counts the card as usable.
        if (!state) return -1;
        ykt::sim::Delay(*state);
        return state->cardState;
    } catch (...) {
        return -1;
    }
}
