#include "reader/VendorReader.h"

#include "core/card/Secrets.h"
#include "platform/Guard.h"
#include "reader/VendorApi.h"

namespace ykt {

namespace {

template <class F>
std::int32_t CallVendor(const char* function, F&& call) {
    std::int32_t result = 0;
    const unsigned long fault = Guarded([&] { result = call(); });
    if (fault != 0) throw VendorFault(function, fault);
    return result;
}

std::int32_t Read(const char* function, int(__stdcall* read)(int*, int*, int*, int*), CardData& card) {
    // The library may fill the values partly before failing: work on a copy.
    CardData values;
    const std::int32_t result =
        CallVendor(function, [&] { return read(&values.serial, &values.code, &values.balance, &values.fourth); });
    if (result == 1) card = values;
    return result;
}

}  // namespace

void VendorReader::Open(const ReaderParams& params) {
    KeyBlock key = params.key;
    WipedOnExit wiped;
    wiped.Bytes(key.data(), key.size());
    CallVendor("WT_init", [&] { return WT_init(params.port, params.rate, params.sector, key.data()); });
}

void VendorReader::Close() {
    CallVendor("WT_exit", [] { return WT_exit(); });
}

std::int32_t VendorReader::ReadNoBeep(CardData& card) { return Read("ReadCardNoBeep", &ReadCardNoBeep, card); }

std::int32_t VendorReader::ReadBeep(CardData& card) { return Read("ReadCardBeep", &ReadCardBeep, card); }

std::int32_t VendorReader::Decrease(std::int32_t code, std::int32_t amount) {
    return CallVendor("Decrease", [&] { return ::Decrease(code, amount); });
}

std::int32_t VendorReader::CardState(const CardStateQuery& query) {
    char empty[1] = {'\0'};
    char* message = empty;
    int outputs[4] = {0, 0, 0, 0};
    return CallVendor("GetCardState", [&] {
        return GetCardState(query.server.c_str(), query.user.c_str(), query.password.c_str(),
                            query.database.c_str(), query.cardNumber.c_str(), &message, &outputs[0], &outputs[1],
                            &outputs[2], &outputs[3]);
    });
}

}  // namespace ykt
