// A host process for one test: the doubles reset and the library loaded in
// one allocator mode. At the end every string the test was handed must have
// been released, none twice, and the process heap must be intact.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DoubleControl.h"
#include "HostLib.h"

namespace ykt::test {

class HostTest : public testing::TestWithParam<AllocMode> {
protected:
    void SetUp() override;
    void TearDown() override;

    HostLib& lib() { return *lib_; }
    const Exports& api() const { return lib_->api(); }
    static std::string Log() { return dbl_log(); }

private:
    std::unique_ptr<HostLib> lib_;
    int liveAtStart_ = 0;
};

std::string ModeParamName(const testing::TestParamInfo<AllocMode>& info);

#define YKT_BOTH_MODES(Suite)                                                                          \
    INSTANTIATE_TEST_SUITE_P(Modes, Suite, testing::Values(AllocMode::ProcessHeap, AllocMode::Shared), \
                             ModeParamName)

}  // namespace ykt::test
