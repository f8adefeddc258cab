// A host process with the library loaded in one allocator mode, the doubles
// reset and a complete store with the default settings.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DoubleControl.h"
#include "HostLib.h"

namespace ykt::test {

using ykt::kDefaultKey;

class ApiTest : public testing::TestWithParam<AllocMode> {
protected:
    void SetUp() override;
    void TearDown() override;

    const Exports& api() const { return lib_->api(); }
    HostLib& lib() { return *lib_; }
    static std::string Log() { return dbl_log(); }

private:
    std::unique_ptr<HostLib> lib_;
    int liveAtStart_ = 0;
};

// The log line of WT_init with the default settings.
std::string DefaultInit();
// A whole connection with the default settings around the calls in between.
std::string Framed(const std::string& calls);

std::string ModeParamName(const testing::TestParamInfo<AllocMode>& info);

#define YKT_BOTH_MODES(Suite)                                                                          \
    INSTANTIATE_TEST_SUITE_P(Modes, Suite, testing::Values(AllocMode::ProcessHeap, AllocMode::Shared), \
                             ModeParamName)

}  // namespace ykt::test
