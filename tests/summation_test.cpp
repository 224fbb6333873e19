#include "summation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <vector>

#include "fast_summation.h"

namespace {

using reihen::SummationMonitor;

double plain(double s, double limit) {
    std::ostringstream unused;
    return reihen::sum_series_plain(s, limit, 0, unused);
}

double fast(double s, double limit) {
    SummationMonitor quiet;
    std::ostringstream out;
    const double sum = reihen::sum_series(s, limit, 0, out, quiet);
    EXPECT_EQ(out.str(), "");
    return sum;
}

// Bit for bit, so that -0.0 and 0.0 or two NaNs are told apart correctly.
void expect_same(double expected, double actual, double s, double g) {
    EXPECT_EQ(std::signbit(expected), std::signbit(actual)) << "s=" << s << " G=" << g;
    EXPECT_EQ(expected, actual) << "s=" << s << " G=" << g;
}

TEST(Summation, FastEqualsPlainWhereThePlainLoopEnds) {
    const double exponents[] = {1,  2,    3,    4,   1.5,  2.5,  0.7, 0.5, 0.3,
                                13, 19.3, 19.5, 100, 1e-3, -0.5, -2,  0};
    const double limit_exponents[] = {5, 0, -0.5, -1, -1.5, -3, -4, -5, -6.7, -12.9};
    for (const double s : exponents) {
        for (const double g : limit_exponents) {
            // Only runs of a few million terms at most.
            if (g < 0 && (s <= 0 || -g / s > 6.7)) continue;
            expect_same(plain(s, std::pow(10.0, g)), fast(s, std::pow(10.0, g)), s, g);
        }
    }
}

TEST(Summation, RunsEndWhenNothingMoreCanChange) {
    // With L = 0 the plain loop would go on for ever; from the point where
    // twice a term no longer changes the sum, its sum stays what it is.
    const struct {
        double s;
        double last_n;  // well past that point
    } cases[] = {{3, 1 << 20}, {4, 1 << 16}, {2.5, 1 << 23}, {13, 64}, {19.3, 64}, {100, 8}};
    for (const auto& c : cases) {
        const double settled = plain(c.s, 1.0 / std::pow(c.last_n, c.s));
        expect_same(settled, fast(c.s, 0.0), c.s, -400);
        expect_same(settled, fast(c.s, std::pow(10.0, -40)), c.s, -40);
    }
    // Every term 1: the sum counts up to 2^53 and stays there.
    EXPECT_EQ(fast(0.0, 0.1), 9007199254740992.0);
    EXPECT_EQ(fast(-0.0, 0.0), 9007199254740992.0);
    // Growing terms: 6^-400 is subnormal, its reciprocal infinite.
    EXPECT_EQ(fast(-400, 0.5), std::numeric_limits<double>::infinity());
}

TEST(Summation, ReportLinesStopOnceTheSumIsInfinite) {
    SummationMonitor quiet;
    std::ostringstream out;
    EXPECT_TRUE(std::isinf(reihen::sum_series(-400, 0.5, 1, out, quiet)));
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);  // 6^400 overflows
    EXPECT_NE(text.find("Zwischensumme: inf   Summand: inf\n"), std::string::npos);
}

// Stops after the first progress report and remembers what it said.
class StopAfterFirstReport : public SummationMonitor {
public:
    bool stop_requested() override { return reported_; }
    void progress(std::uint64_t terms, double sum) override {
        if (reported_) return;
        reported_ = true;
        terms_ = terms;
        sum_ = sum;
    }
    std::uint64_t terms_ = 0;
    double sum_ = 0.0;

private:
    bool reported_ = false;
};

TEST(Summation, StopOnRequestGivesTheSumOfTheTermsAddedSoFar) {
    for (const double s : {0.5, 1.0, 2.0}) {
        StopAfterFirstReport monitor;
        std::ostringstream out;
        const double sum = reihen::sum_series(s, 0.0, 0, out, monitor);
        ASSERT_GT(monitor.terms_, 0U);
        EXPECT_EQ(sum, monitor.sum_);
        const double last = static_cast<double>(monitor.terms_);
        EXPECT_EQ(sum, plain(s, (1.0 / std::pow(last, s) + 1.0 / std::pow(last + 1, s)) / 2));
    }
}

TEST(Summation, AddInOrderMatchesOneAdditionAtATime) {
    const double u = 0x1p-52;  // last-place unit of the sums in [1, 2)
    const std::vector<std::vector<double>> cases = {
        {u / 2, u / 2, u / 2},                 // halfway: ties to even
        {u, u / 2, u / 2, 3 * u / 2, u / 2},   // halfway from odd and even sums
        {0.75, 0.25, u / 2, u / 4, 0.5, 1.0},  // crossing binades on the way
        {0.9999999999999999, u, u / 2},        // ending exactly on a power of two
        {std::numeric_limits<double>::infinity(), 1.0},
    };
    // std::accumulate adds one term after the other, left to right.
    for (const auto& terms : cases) {
        EXPECT_EQ(reihen::add_in_order(1.0, terms.data(), terms.size()),
                  std::accumulate(terms.begin(), terms.end(), 1.0));
    }
    // Many random stretches of terms that are whole or half units of sums
    // around powers of two, so that ties and crossings are common.
    std::mt19937_64 random(7);
    for (int round = 0; round < 200; ++round) {
        const double start =
            std::ldexp(1.0, static_cast<int>(random() % 8)) * (round % 2 == 0 ? 1.0 : 1.999);
        const double unit = std::ldexp(1.0, std::ilogb(start) - 52);
        const std::uint64_t halves = round % 3 == 0 ? 4 : 1 << 20;
        std::vector<double> terms(1 + random() % 9000);
        std::generate(terms.begin(), terms.end(),
                      [&] { return unit / 2 * static_cast<double>(random() % halves); });
        EXPECT_EQ(reihen::add_in_order(start, terms.data(), terms.size()),
                  std::accumulate(terms.begin(), terms.end(), start))
            << round;
    }
}

TEST(Summation, PowIsExactWhereThePowerIsADouble) {
    // What the shortcuts for whole exponents rely on, checked at the largest
    // bases whose powers stay below 2^53 and at a spread of smaller ones.
    for (int k = 1; k <= 64; ++k) {
        const double top = std::floor(std::pow(9007199254740991.0, 1.0 / k));
        for (double n = top; n >= 1 && n > top - 2000; n -= 1) {
            double power = n;
            for (int i = 1; i < k; ++i) power *= n;
            if (power >= 9007199254740992.0) continue;
            ASSERT_EQ(std::pow(n, static_cast<double>(k)), power) << n << "^" << k;
        }
    }
}

}  // namespace
