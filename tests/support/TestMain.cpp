// main() for the Windows test programs that need nothing of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestRun.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return ykt::test::RunSelectedTests();
}
