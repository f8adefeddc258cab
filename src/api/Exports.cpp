// The seven exports. Each is a boundary: whatever happens inside, C++ or
// structured exception, the host gets a result code and keeps running.
#include "Vb_Ykt.h"

#include "dialog/ShowParaForm.h"
#include "core/card/CardOperations.h"
#include "core/card/CardTexts.h"
#include "platform/Guard.h"
#include "reader/VendorReader.h"
#include "settings/RegistrySettings.h"
#include "api/HostString.h"

// The header's codes are what the card operations return.
static_assert(VB_YKT_OK == ykt::kSuccess && VB_YKT_FAILED == ykt::kFailure &&
                  VB_YKT_CARD_UNUSABLE == ykt::kCardUnusable,
              "result codes of the header and of the card operations differ");

namespace {

template <class Body>
int Boundary(Body&& body) {
    int result = ykt::kFailure;
    if (ykt::Guarded([&] { result = body(); }) != 0) return ykt::kFailure;
    return result;
}

int ReadCard(char** cardNo, bool beep) {
    if (!cardNo) return ykt::kFailure;
    return Boundary([&] {
        ykt::RegistrySettings settings;
        ykt::VendorReader reader;
        const ykt::OperationResult result = ykt::ReadCardNumber(settings, reader, beep);
        if (result.output) ykt::host::Assign(cardNo, *result.output);
        return result.code;
    });
}

}  // namespace

extern "C" {

int __stdcall vbYktExist(void) { return ykt::kSuccess; }

int __stdcall vbCloseCom(void) { return ykt::kSuccess; }

int __stdcall vbInitCom(void) {
    return Boundary([] {
        ykt::RegistrySettings settings;
        ykt::VendorReader reader;
        return ykt::InitCom(settings, reader).code;
    });
}

int __stdcall vbReadCardNo(char** cardNo) { return ReadCard(cardNo, false); }

int __stdcall vbReadCardBeep(char** cardNo) { return ReadCard(cardNo, true); }

int __stdcall vbDecCard(char* cardNo, int amount, char** balance) {
    if (!balance) return ykt::kFailure;
    return Boundary([&] {
        ykt::host::InputString number(cardNo);
        // The host sees "0,0" whatever happens below, unless a balance is read.
        ykt::host::Assign(balance, ykt::kNoBalanceText);
        ykt::RegistrySettings settings;
        ykt::VendorReader reader;
        const ykt::OperationResult result = ykt::DeductFromCard(settings, reader, number.View(), amount);
        if (result.output && *result.output != ykt::kNoBalanceText) ykt::host::Assign(balance, *result.output);
        return result.code;
    });
}

int __stdcall vbShowParaForm(HWND hostWindow) {
    Boundary([&] { return ykt::dialog::ShowParaForm(hostWindow); });
    return ykt::kSuccess;
}

}  // extern "C"
