#include "HostFixture.h"

#include <windows.h>

namespace ykt::test {

void HostTest::SetUp() {
    dbl_reset();
    lib_ = std::make_unique<HostLib>(GetParam());
    liveAtStart_ = lib_->LiveBlocks();
}

void HostTest::TearDown() {
    // Every test releases what it received: whatever is left was leaked.
    EXPECT_EQ(lib_->LiveBlocks(), liveAtStart_) << "blocks leaked";
    EXPECT_EQ(lib_->BadFrees(), 0) << "blocks freed twice or never allocated";
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << "the process heap is damaged";
    lib_.reset();
}

std::string ModeParamName(const testing::TestParamInfo<AllocMode>& info) { return ModeName(info.param); }

}  // namespace ykt::test
