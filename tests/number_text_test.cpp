#include "number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

using reihen::format_fixed;
using reihen::read_int;
using reihen::read_real;

struct ReadCase {
    const char* input;
    bool ok;
    double value;
    const char* unread;
};

std::string rest(std::istringstream& in) {
    in.clear();
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ReadReal, FollowsTheExtractionRules) {
    const ReadCase cases[] = {
        {"2", true, 2.0, ""},
        {"  \t\n\v\f\r-3.25x", true, -3.25, "x"},
        {"+.5", true, 0.5, ""},
        {"5.", true, 5.0, ""},
        {"1e3", true, 1000.0, ""},
        {"1E+3 ", true, 1000.0, " "},
        {"2.5e-1e", true, 0.25, "e"},
        {"0x10", true, 0.0, "x10"},
        {"1.2.3", true, 1.2, ".3"},
        {"0e-999", true, 0.0, ""},  // zero is no range error
        {"0.1", true, 0.1, ""},
        {"2.2250738585072014e-308", true, DBL_MIN, ""},
        {"1.7976931348623157e308", true, DBL_MAX, ""},
        {"000000000000000000000000000000001e-2", true, 0.01, ""},
        {"2e", false, 0.0, ""},
        {"2e+x", false, 0.0, "x"},
        {"2,5", true, 2.0, ",5"},
        {",5", false, 0.0, ",5"},
        {".", false, 0.0, ""},
        {"-", false, 0.0, ""},
        {".e5", false, 0.0, "e5"},
        {"inf", false, 0.0, "inf"},
        {"nan", false, 0.0, "nan"},
        {"", false, 0.0, ""},
        {"   ", false, 0.0, ""},
        {"1e999", false, 0.0, ""},                    // overflow
        {"1e-400", false, 0.0, ""},                   // underflow to zero
        {"1e-310", false, 0.0, ""},                   // subnormal
        {"2.2250738585072011e-308", false, 0.0, ""},  // just below the normal range
        {"1e99999999999999999999999", false, 0.0, ""},
        {"1e-99999999999999999999999", false, 0.0, ""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        double value = 42.0;
        EXPECT_EQ(read_real(in, value), c.ok) << c.input;
        EXPECT_EQ(in.fail(), !c.ok) << c.input;
        EXPECT_EQ(value, c.value) << c.input;
        EXPECT_EQ(rest(in), c.unread) << c.input;
    }
}

TEST(ReadReal, LongDigitStringsRoundCorrectly) {
    // 1 + 2^-53 is halfway between 1 and the next double: ties go to even (1),
    // but any nonzero digit far behind the halfway point must round up.
    const std::string half = "1.00000000000000011102230246251565404236316680908203125";
    const double above_one = std::nextafter(1.0, 2.0);
    const struct {
        std::string input;
        double value;
    } cases[] = {
        {half, 1.0},
        {half + std::string(5000, '0') + "1", above_one},
        {half + std::string(5000, '0'), 1.0},
        {"1" + std::string(400, '0'), 0.0},         // overflows: not read
        {"0." + std::string(400, '0') + "1", 0.0},  // underflows: not read
        {std::string(2000, '0') + "7", 7.0},
        {"1" + std::string(300, '0'), 1e300},
        {"0." + std::string(300, '0') + "1", 1e-301},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        double value = 42.0;
        read_real(in, value);
        EXPECT_EQ(value, c.value) << c.input.substr(0, 60);
    }
}

TEST(ReadReal, FailedStreamIsNotRead) {
    std::istringstream in("x 2");
    double value = 1.0;
    EXPECT_FALSE(read_real(in, value));
    EXPECT_FALSE(read_real(in, value));
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(rest(in), "x 2");
}

TEST(ReadInt, FollowsTheExtractionRules) {
    const struct {
        const char* input;
        bool ok;
        int value;
        const char* unread;
    } cases[] = {
        {"1", true, 1, ""},
        {" -1\n", true, -1, "\n"},
        {"+7", true, 7, ""},
        {"1.5", true, 1, ".5"},
        {"2147483647", true, 2147483647, ""},
        {"-2147483648", true, -2147483647 - 1, ""},
        {"0000000000000000000012", true, 12, ""},
        {"2147483648", false, 0, ""},
        {"-2147483649", false, 0, ""},
        {"99999999999999999999999", false, 0, ""},
        {"-", false, 0, ""},
        {"x", false, 0, "x"},
        {"", false, 0, ""},
        {"1e3", true, 1, "e3"},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        int value = 42;
        EXPECT_EQ(read_int(in, value), c.ok) << c.input;
        EXPECT_EQ(value, c.value) << c.input;
        EXPECT_EQ(rest(in), c.unread) << c.input;
    }
}

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

}  // namespace
