#include "console/status_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using reihen::status_line;
using std::chrono::seconds;

TEST(StatusLine, ShortenedAsTheWidthDemands) {
    const struct {
        int width;
        const char* text;
    } cases[] = {
        {200,
         "Summanden: 9800000000   Zwischensumme: 1.23456789012e+63   Zeit: 7 s   "
         "(Strg+C beendet die Summation)"},
        {80, "Summanden: 9800000000  Summe: 1.23456789012e+63  Zeit: 7 s  Strg+C: Abbruch"},
        {75, "Summanden: 9800000000  Summe: 1.23456789012e+63  Zeit: 7 s"},
        {40, "Summanden: 9800000000  Zeit: 7 s"},
        {30, "Summanden: 9800000000"},
        {15, "n=9800000000"},
        {12, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(status_line(9'800'000'000U, 1.2345678901234e63, seconds(7), c.width), c.text)
            << c.width;
    }
}

// Whatever the values, the line keeps the last column free, and shows the
// count whole or not at all.
TEST(StatusLine, FitsEveryWidth) {
    const double sums[] = {0.0, 1.5, 1e14, std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::infinity()};
    const std::uint64_t counts[] = {0, 31, std::numeric_limits<std::uint64_t>::max()};
    for (int width = 10; width <= 300; ++width) {
        for (const double sum : sums) {
            for (const std::uint64_t count : counts) {
                const std::string line = status_line(count, sum, seconds(3600), width);
                EXPECT_LE(static_cast<int>(line.size()), width - 1) << width << " " << sum;
                if (line.empty()) continue;
                const std::string shown = std::to_string(count);
                EXPECT_TRUE(line.starts_with("Summanden: " + shown + "  ") ||
                            line == "Summanden: " + shown || line == "n=" + shown)
                    << line;
            }
        }
    }
}

}  // namespace
