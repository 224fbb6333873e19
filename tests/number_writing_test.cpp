#include "numbers/number_writing.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace {

using reihen::format_fixed;

TEST(FormatFixed, RoundsHalfUpInTwoStages) {
    const struct {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {0.0, 12, "0.000000000000"},
        {-0.0, 12, "-0.000000000000"},
        {1.0, 12, "1.000000000000"},
        {0.25, 15, "0.250000000000000"},
        {1.0 + 0x1p-13, 12, "1.000122070313"},  // exact half: up, not to even
        {0x1p-13, 15, "0.000122070312500"},
        {0.5, 0, "1"},
        {2.5, 0, "3"},
        {0.0005, 3, "0.001"},  // 5.0000000000000001e-4: above half
        {0.0015, 3, "0.002"},  // 1.49999999999999999e-3: 17 digits round up
        {9.999999999999998, 12, "10.000000000000"},
        {0.9999999999999999, 12, "1.000000000000"},
        {123456.789012345678, 12, "123456.789012345670"},  // past 17 digits: zeros
        {1e16, 12, "10000000000000000.000000000000"},
        {9007199254740993.0, 12, "9007199254740992.000000000000"},
        {1e22, 1, "10000000000000000000000.0"},
        {1.5e-13, 12, "0.000000000000"},
        {5e-13, 12, "0.000000000000"},  // 4.99999999999999990e-13
        {5.000000000000001e-13, 12, "0.000000000001"},
        {0.1234567890125, 12, "0.123456789013"},  // ...12499999999999998: 17 digits end in 5
        {5e-324, 15, "0.000000000000000"},
        {-2.5, 12, "-2.500000000000"},
        {std::numeric_limits<double>::infinity(), 12, "inf"},
        {-std::numeric_limits<double>::infinity(), 12, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), 12, "nan"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_fixed(c.value, c.decimals), c.text) << c.value;
    }
    const std::string max = format_fixed(DBL_MAX, 12);
    EXPECT_EQ(max.substr(0, 20), "17976931348623157000");
    EXPECT_EQ(max.size(), 309U + 13U);
}

TEST(CompactNumber, TwelveDigitsOrTheExponentForm) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0.00000000000"},
        {1.6131907003279, "1.61319070033"},
        {123456.789, "123456.789000"},
        {999999999999999.0, "999999999999999"},
        {1e15, "1.00000000000e+15"},
        {1.2345678901234e63, "1.23456789012e+63"},
        {std::numeric_limits<double>::max(), "1.79769313486e+308"},
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(reihen::compact_number(c.value), c.text) << c.value;
}

}  // namespace
