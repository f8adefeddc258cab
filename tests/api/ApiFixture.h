// A host process with the library loaded in one allocator mode, the doubles
// reset and a complete store with the default settings.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "HostFixture.h"

namespace ykt::test {

using ykt::kDefaultKey;

class ApiTest : public HostTest {
protected:
    void SetUp() override;
};

// The log line of WT_init with the default settings.
std::string DefaultInit();
// A whole connection with the default settings around the calls in between.
std::string Framed(const std::string& calls);

}  // namespace ykt::test
