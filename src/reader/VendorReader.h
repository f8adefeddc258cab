// ReaderPort over the vendor libraries; every call runs under the guard and a
// fault inside the vendor code becomes a VendorFault.
#pragma once

#include "core/card/CardOperations.h"

namespace ykt {

class VendorReader final : public ReaderPort {
public:
    void Open(const ReaderParams& params) override;
    void Close() override;
    std::int32_t ReadNoBeep(CardData& card) override;
    std::int32_t ReadBeep(CardData& card) override;
    std::int32_t Decrease(std::int32_t code, std::int32_t amount) override;
    std::int32_t CardState(const CardStateQuery& query) override;
};

}  // namespace ykt
