#include "TestRun.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ykt::test {

namespace {

// gtest's filter wildcards: '*' any text, '?' one character.
bool Matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Matches(pattern + 1, name) || (*name != '\0' && Matches(pattern, name + 1));
    if (*name == '\0') return false;
    return (*pattern == '?' || *pattern == *name) && Matches(pattern + 1, name + 1);
}

// The positive patterns: what comes before a '-', split at ':'.
std::vector<std::string> PositivePatterns(const std::string& filter) {
    std::vector<std::string> patterns;
    const std::string positive = filter.substr(0, filter.find('-'));
    std::size_t start = 0;
    while (start <= positive.size()) {
        const std::size_t end = std::min(positive.find(':', start), positive.size());
        if (end > start) patterns.push_back(positive.substr(start, end - start));
        start = end + 1;
    }
    return patterns;
}

// --preload=NAME: a module the host's process holds before the library is
// first loaded, as a till's other DLLs would be. False when one cannot be loaded.
bool Preload() {
    bool loaded = true;
    for (const std::string& arg : testing::internal::GetArgvs()) {
        if (arg.rfind("--preload=", 0) != 0) continue;
        const std::string name = arg.substr(10);
        if (LoadLibraryA(name.c_str())) {
            std::printf("[ preload  ] %s\n", name.c_str());
        } else {
            std::fprintf(stderr, "--preload: %s cannot be loaded (error %lu)\n", name.c_str(), GetLastError());
            loaded = false;
        }
    }
    return loaded;
}

}  // namespace

int RunSelectedTests() {
    if (!Preload()) return 1;
    const int result = RUN_ALL_TESTS();
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    std::vector<std::string> selected;
    for (int s = 0; s < unit.total_test_suite_count(); ++s) {
        const testing::TestSuite& suite = *unit.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t) {
            const testing::TestInfo& info = *suite.GetTestInfo(t);
            if (info.should_run()) selected.push_back(std::string(info.test_suite_name()) + "." + info.name());
        }
    }
    bool unmatched = false;
    for (const std::string& pattern : PositivePatterns(GTEST_FLAG_GET(filter))) {
        bool found = false;
        for (const std::string& name : selected) found = found || Matches(pattern.c_str(), name.c_str());
        if (!found) {
            std::fprintf(stderr, "--gtest_filter pattern \"%s\" selects no test\n", pattern.c_str());
            unmatched = true;
        }
    }
    return unmatched ? 1 : result;
}

}  // namespace ykt::test
