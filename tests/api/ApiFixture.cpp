#include "ApiFixture.h"

namespace ykt::test {

void ApiTest::SetUp() {
    dbl_reset();
    WriteDefaultSettings();
    lib_ = std::make_unique<HostLib>(GetParam());
    liveAtStart_ = lib_->LiveBlocks();
}

void ApiTest::TearDown() {
    // Every test releases what it received: whatever is left was leaked.
    EXPECT_EQ(lib_->LiveBlocks(), liveAtStart_) << "blocks leaked";
    EXPECT_EQ(lib_->BadFrees(), 0) << "blocks freed twice or never allocated";
    lib_.reset();
}

std::string DefaultInit() { return std::string("WT_init(0,9600,7,") + kDefaultKey + "00)\n"; }

std::string Framed(const std::string& calls) { return DefaultInit() + calls + "WT_exit\n"; }

std::string ModeParamName(const testing::TestParamInfo<AllocMode>& info) { return ModeName(info.param); }

}  // namespace ykt::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // A crash must end the test run with a message, not a debugger prompt.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return RUN_ALL_TESTS();
}
