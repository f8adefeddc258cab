#include "ApiFixture.h"

#include "TestRun.h"

namespace ykt::test {

void ApiTest::SetUp() {
    WriteDefaultSettings();
    HostTest::SetUp();
}

std::string DefaultInit() { return std::string("WT_init(0,9600,7,") + kDefaultKey + "00)\n"; }

std::string Framed(const std::string& calls) { return DefaultInit() + calls + "WT_exit\n"; }

}  // namespace ykt::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // A crash must end the test run with a message, not a debugger prompt.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return ykt::test::RunSelectedTests();
}
