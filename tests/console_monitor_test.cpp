#include "console/console_monitor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <sstream>

namespace {

// The line that says where a stopped run ended, with counts past what 32
// bits hold: on a 32-bit processor std::size_t would wrap them.
TEST(ConsoleMonitor, StopSaysTheWholeCount) {
    const struct {
        std::uint64_t terms;
        const char* line;
    } cases[] = {
        {0, "Summation nach 0 Summanden abgebrochen.\n"},
        {(std::uint64_t{1} << 32) + 5, "Summation nach 4294967301 Summanden abgebrochen.\n"},
        {(std::uint64_t{1} << 53) - 1, "Summation nach 9007199254740991 Summanden abgebrochen.\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream errors;
        std::streambuf* const before = std::cerr.rdbuf(errors.rdbuf());
        {
            reihen::ConsoleMonitor monitor;
            monitor.begin();
            monitor.stopped(c.terms);
            monitor.end();
        }
        std::cerr.rdbuf(before);
        EXPECT_EQ(errors.str(), c.line);
    }
}

}  // namespace
