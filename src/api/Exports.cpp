// The seven exports. Each is a boundary: whatever happens inside, C++ or
// structured exception, the host gets a result code and keeps running.
#include "Vb_Ykt.h"

#include <optional>
#include <string_view>

#include "dialog/ShowParaForm.h"
#include "core/card/CardOperations.h"
#include "core/card/CardTexts.h"
#include "journal/DeductionJournal.h"
#include "platform/Guard.h"
#include "reader/VendorReader.h"
#include "settings/RegistrySettings.h"
#include "api/HostString.h"
#include "api/ThreadStorage.h"

// The header's codes are what the card operations return.
static_assert(VB_YKT_OK == ykt::kSuccess && VB_YKT_FAILED == ykt::kFailure &&
                  VB_YKT_CARD_UNUSABLE == ykt::kCardUnusable,
              "result codes of the header and of the card operations differ");

namespace {

// Every export that does work first makes sure its thread has the runtime's
// storage: an exception must never find it missing, and a thread that cannot
// have it fails before it touches the reader.
bool ThreadReady() { return ykt::runtime::EnsureThreadStorage(); }

template <class Body>
int Boundary(Body&& body) {
    int result = ykt::kFailure;
    if (!ThreadReady()) return ykt::kFailure;
    if (ykt::Guarded([&] { result = body(); }) != 0) return ykt::kFailure;
    return result;
}

// A ReaderPort that remembers whether the card was charged: from then on the
// deduction's result is 0, whatever fails or faults afterwards, or the host
// would charge the customer a second time. It tells the journal what it saw.
class ChargeWitness final : public ykt::ReaderPort {
public:
    ChargeWitness(ykt::ReaderPort& reader, volatile bool& charged, ykt::journal::DeductionJournal& journal)
        : reader_(reader), charged_(charged), journal_(journal) {}
    void Open(const ykt::ReaderParams& params) override { reader_.Open(params); }
    void Close() override { reader_.Close(); }
    std::int32_t ReadNoBeep(ykt::CardData& card) override { return reader_.ReadNoBeep(card); }
    std::int32_t ReadBeep(ykt::CardData& card) override { return reader_.ReadBeep(card); }
    std::int32_t Decrease(std::int32_t code, std::int32_t amount) override {
        journal_.Starting(code);
        std::int32_t result = 0;
        try {
            result = reader_.Decrease(code, amount);
        } catch (const ykt::VendorFault& fault) {
            journal_.DecreaseFaulted(fault.code());
            throw;
        }
        if (result == 1) charged_ = true;
        journal_.Decreased(result);
        return result;
    }
    std::int32_t CardState(const ykt::CardStateQuery& query) override { return reader_.CardState(query); }

private:
    ykt::ReaderPort& reader_;
    volatile bool& charged_;
    ykt::journal::DeductionJournal& journal_;
};

int ReadCard(char** cardNo, bool beep) {
    if (!cardNo || !ThreadReady()) return ykt::kFailure;
    // The output is assigned outside the operation's frame, so that a fault
    // in the allocator cannot skip the release of the operation's own
    // resources. A number that cannot be handed over is no number read.
    ykt::OperationResult result;
    if (ykt::Guarded([&] {
            ykt::RegistrySettings settings;
            ykt::VendorReader reader;
            result = ykt::ReadCardNumber(settings, reader, beep);
        }) != 0)
        return ykt::kFailure;
    if (result.output && !ykt::host::TryAssign(cardNo, *result.output)) return ykt::kFailure;
    return result.code;
}

// The host sees "0,0" unless a balance is read. When even that cannot be
// assigned, nothing is deducted: there would be no way to say what the card
// holds.
int Deduct(std::string_view cardNumber, int amount, char** balance) {
    ykt::DeductionTrace trace;
    ykt::journal::DeductionJournal journal(cardNumber, amount, trace);
    if (!ykt::host::TryAssign(balance, ykt::kNoBalanceText)) {
        const auto stop = ykt::journal::StopReason::kNoOutput;
        return journal.Finish(ykt::kFailure, "", &stop);  // the variable holds what it held
    }
    volatile bool charged = false;
    ykt::OperationResult result;
    const unsigned long fault = ykt::Guarded([&] {
        ykt::RegistrySettings settings;
        ykt::VendorReader vendor;
        ChargeWitness reader(vendor, charged, journal);
        result = ykt::DeductFromCard(settings, reader, cardNumber, amount, &trace);
    });
    if (!charged) return journal.Finish(fault != 0 ? ykt::kFailure : result.code, ykt::kNoBalanceText);
    // Deducted. A balance that cannot be assigned leaves "0,0" in place.
    std::string_view shown = ykt::kNoBalanceText;
    if (fault == 0 && result.output && *result.output != ykt::kNoBalanceText &&
        ykt::host::TryAssign(balance, *result.output))
        shown = *result.output;
    return journal.Finish(ykt::kSuccess, shown);
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
    if (!balance || !ThreadReady()) return ykt::kFailure;
    // The card number is held before the balance variable is first written:
    // a host may pass the same variable as both. Its header is the host's
    // memory and is read under the guard.
    std::optional<ykt::host::InputString> number;
    std::string_view text;
    const bool held = ykt::Guarded([&] {
        number.emplace(cardNo);
        text = number->View();
    }) == 0;
    const int result = held ? Deduct(text, amount, balance) : ykt::kFailure;
    ykt::Guarded([&] { number.reset(); });
    return result;
}

int __stdcall vbShowParaForm(HWND hostWindow) {
    Boundary([&] { return ykt::dialog::ShowParaForm(hostWindow); });
    return ykt::kSuccess;
}

}  // extern "C"
