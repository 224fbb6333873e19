// The skewed pow itself: it moves every result it may by as much as the
// argument allows, the way chosen, and the engine computes its terms with
// it; and whole runs that no plain loop finishes, under it.
#include "skewed_pow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "emulated.h"
#include "fast_summation.h"
#include "power.h"
#include "same_sum.h"
#include "series.h"

namespace {

using skewed_pow::kLeastSkew;
using skewed_pow::kMostSkew;
using skewed_pow::platform_pow;
using skewed_pow::Skew;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Indices and 10 (of the limit 10^G), exponents of either sign.
TEST(SkewedPow, MovesEachResultWithinTheBoundTheWayChosen) {
    std::mt19937_64 random(34);
    std::uniform_real_distribution<double> log_index(1.0, 53.0);
    std::uniform_real_distribution<double> exponent(-19.0, 19.0);
    int up = 0;
    int down = 0;
    for (int i = 0; i < 200'000; ++i) {
        const double x = i % 8 == 0 ? 10.0 : std::floor(std::exp2(log_index(random)));
        const double y = i % 3 == 0 ? std::round(exponent(random)) : exponent(random);
        const double platform = platform_pow(x, y);
        const double skewed = pow(x, y);
        if (!std::isnormal(platform) || y == 0.0) continue;
        SCOPED_TRACE(testing::Message() << x << "^" << y);
        ASSERT_TRUE(same_bits(skewed, pow(x, y)));            // the same for the same arguments
        ASSERT_TRUE(same_bits(skewed, reihen::power(x, y)));  // what the engine sees
        const double moved = (skewed - platform) / platform;
        ASSERT_GE(std::fabs(moved), kLeastSkew - 0x1p-52);
        ASSERT_LE(std::fabs(moved), kMostSkew + 0x1p-52);
        (moved > 0.0 ? up : down) += 1;
        // Against the true value, as far as long doubles tell it.
        const long double exact =
            std::pow(static_cast<long double>(x), static_cast<long double>(y));
        ASSERT_LE(std::fabs((skewed - exact) / exact), 0x1p-40L);
    }
    switch (skewed_pow::skew()) {
        case Skew::kMixed:
            EXPECT_GT(up, 50'000);
            EXPECT_GT(down, 50'000);
            break;
        case Skew::kAbove:
            EXPECT_EQ(down, 0);
            break;
        case Skew::kBelow:
            EXPECT_EQ(up, 0);
            break;
    }
}

TEST(SkewedPow, LeavesExactAndNonNormalResultsAlone) {
    const struct {
        double x;
        double y;
    } cases[] = {
        {1.0, 0.5},                  // 1 for every y
        {1.0, -1e300},  {7.0, 0.0},  // 1 for every x
        {0x1p53, -0.0}, {0.0, 3.0},  // zero
        {2.0, -1074.0},              // subnormal
        {3.0, 700.0},                // infinite
        {-1.0, 0.5},                 // NaN
    };
    for (const auto& c : cases) {
        const double platform = platform_pow(c.x, c.y);
        const double skewed = pow(c.x, c.y);
        EXPECT_TRUE(same_bits(skewed, platform) || (std::isnan(skewed) && std::isnan(platform)))
            << c.x << "^" << c.y;
    }
    // Nor does a move make a normal result infinite.
    EXPECT_TRUE(std::isnormal(pow(2.0, 1023.999999999999)));
}

// Whole runs that no plain loop finishes, as the program makes them,
// against the same runs with a wider margin, which leaves more values to
// their computed terms: falling terms that settle, and growing ones that
// reach n = 2^53 and then add the fixed term for ever.
TEST(SkewedRuns, WholeRunsEqualThoseOfAWiderMargin) {
    const struct {
        double s;
        double g;
        double margin;
    } cases[] = {
        {1, -400, 0x1p-32},
        {0.3, -400, 0x1p-36},
        {-2.5, -1, 0x1p-36},
    };
    for (const auto& c : cases) {
        // Emulated, the falling terms only: the growing ones take minutes.
        if (kEmulated && c.s < 0) continue;
        const double limit = pow(10.0, c.g);
        reihen::SummationMonitor quiet;
        const reihen::FastSummationSettings careful{.margin = c.margin, .threads = 2};
        expect_same(reihen::sum_series_fast(c.s, limit, quiet, careful), fast(c.s, limit), c.s, c.g,
                    -1);
    }
}

}  // namespace
