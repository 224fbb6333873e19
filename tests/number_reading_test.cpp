#include "numbers/number_reading.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

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

}  // namespace
