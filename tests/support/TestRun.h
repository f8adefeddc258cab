// Runs a test program's tests. Every pattern of --gtest_filter must select at
// least one test: a subset named by a filter (the emulated i686 guest runs
// such subsets) then fails when a renamed test drops out of it, instead of
// passing with less.
#pragma once

namespace ykt::test {

// After testing::InitGoogleTest: loads the modules named by --preload=NAME,
// then RUN_ALL_TESTS(); 1 when a module cannot be loaded or a pattern of the
// filter matched no test.
int RunSelectedTests();

}  // namespace ykt::test
