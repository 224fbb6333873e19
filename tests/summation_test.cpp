// The fast summation against the plain loop, bit for bit, under the same
// pow: whole runs, runs stopped on request, runs started far out, on any
// number of threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "emulated.h"
#include "fast_summation.h"
#include "plain_from.h"
#include "power.h"
#include "same_sum.h"
#include "series.h"
#include "stop_after.h"

namespace {

using reihen::FastSummationSettings;
using reihen::SummationMonitor;

double plain(double s, double limit) { return reihen::sum_series_plain(s, limit); }

// The default rules, and rules under which nearly every index takes the
// careful paths: margins so wide that many terms are uncertain, stretches
// looked for wherever one could hold a single term, on all threads or one
// after another, and the kernels for the vectors every processor has.
const FastSummationSettings kSettings[] = {
    {.threads = 2, .threads_on_demand = false},
    {.margin = 0x1p-37,
     .shortest_stretch = 1.0,
     .stretches_per_anchor = 4.0,
     .threads = 2,
     .threads_on_demand = false},
    {.margin = 0x1p-18,
     .shortest_stretch = 1.0,
     .stretches_per_anchor = 4.0,
     .threads = 3,
     .threads_on_demand = false},
    {.margin = 0x1p-8,
     .shortest_stretch = 1.0,
     .stretches_per_anchor = 4.0,
     .threads = 2,
     .threads_on_demand = false},
    {.margin = 0x1p-18, .shortest_stretch = 1.0, .stretches_per_anchor = 1e300},
    {.margin = 0x1p-37,
     .shortest_stretch = 1.0,
     .stretches_per_anchor = 4.0,
     .wide_vectors = false,
     .threads = 2,
     .threads_on_demand = false},
};

TEST(Summation, FastEqualsPlainWhereThePlainLoopEnds) {
    const double exponents[] = {1,    2,  3,    1.5,  2.5, 0.7, 0.5,  0.3, 0.1,
                                1e-2, 13, 19.3, 19.5, 30,  100, 1e-9, 0};
    const double limit_exponents[] = {5, 0, -0.5, -1.5, -3, -5, -6.3, -12.9};
    for (const double s : exponents) {
        for (const double g : limit_exponents) {
            // Only runs of a million terms at most.
            if (g < 0 && (s <= 0 || -g / s > 6)) continue;
            const double limit = reihen::power(10.0, g);
            const double expected = plain(s, limit);
            expect_same(expected, fast(s, limit), s, g, -1);
            for (int rules = 0; rules < std::ssize(kSettings); ++rules) {
                SummationMonitor quiet;
                expect_same(expected, reihen::sum_series_fast(s, limit, quiet, kSettings[rules]), s,
                            g, rules);
            }
        }
    }
}

TEST(Summation, EndlessRunsStoppedOnRequestHoldThePlainSumSoFar) {
    // Growing, constant and barely falling terms, which no limit ends.
    for (const double s : {-0.5, -1.0, -2.0, -7.5, -30.0, -1e-3, 0.5, 1.0}) {
        for (int rules = 0; rules < std::ssize(kSettings); ++rules) {
            const std::uint64_t terms = kEmulated ? 100'000 : 400'000;
            StopAfter monitor(terms);
            const double sum = reihen::sum_series_fast(s, 0.0, monitor, kSettings[rules]);
            ASSERT_GE(monitor.terms_, terms) << s;
            EXPECT_EQ(sum, monitor.sum_) << s;
            expect_same(plain_from(s, 0.0, {}, monitor.terms_).sum, sum, s, -400, rules);
        }
    }
}

TEST(Summation, RunsStartedFarOutEqualThePlainLoop) {
    // Where a sum is large against its terms, many terms share one number
    // of units: s, the first index, and the first term in units of the
    // sum's last place, from which the start sum follows.
    const struct {
        double s;
        double first;
        double units;
        double last;  // the index whose term is the limit, or 0 for none
    } cases[] = {
        {-25, 0x1p33, 0x1p24, 0},              // stretches of about 20 growing terms
        {-7.5, 0x1p40, 0x1p40 / 7.65, 0},      // of about one, with a unit value skipped
        {-3, 0x1p45, 0x1p34, 0},               // and of about 700, the binade changing
        {-1, 0x1p40, 0x1p27, 0},               // each change of units an exact tie
        {-1, 0x1p40, 0x1p35, 0},               // and a tie every 32 terms
        {-1, 0x1p27, 0x1p26, 0},               // a tie every other term, index by index
        {-1, 0x1p30, 0x1p25, 0},               // a tie every 32 terms, known from the index
        {-1, 0x1p38 - 50'000, 0x1p28, 0},      // every 512, to where the index tells no more
        {-2, 0x1p30, 0x1p27, 0},               // squares, a tie now and then
        {-0.5, 0x1p46, 0x1p43, 0},             // slowly growing terms
        {2, 0x1p30, 0x1p26, 0x1p30 + 90'000},  // falling terms, to a limit
        {0.5, 0x1p44, 0x1p38, 0},              // a binade every 16384 terms
        {3, 0x1p20, 0.6, 0},                   // falling below half a unit: the run settles
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from index " << c.first);
        for (int rules = 0; rules < std::ssize(kSettings); ++rules) {
            FastSummationSettings settings = kSettings[rules];
            settings.first_index = c.first;
            settings.start_sum = reihen::series_term(c.first, c.s) * 0x1p52 / c.units;
            const double limit = c.last == 0 ? 0.0 : reihen::series_term(c.last, c.s);
            StopAfter monitor(100'000);
            const double sum = reihen::sum_series_fast(c.s, limit, monitor, settings);
            expect_same(plain_from(c.s, limit, settings, monitor.terms_).sum, sum, c.s,
                        std::log10(limit), rules);
        }
    }
}

TEST(Summation, EveryThreadCountGivesThePlainSum) {
    // Runs far out whose sum leaves its binade after `left` terms, within
    // some piece, or that end at a limit or settle within one; the sum's
    // unit is about 2^-k of the first term.
    const struct {
        double s;
        double first;
        int k;
        double left;
        double last;  // the index whose term is the limit, or 0 for none
    } cases[] = {
        {-26, 0x1p31, 24, 40'000, 0},  // every index classified on its own
        {-3, 0x1p45, 34, 60'000, 0},   // stretches walked
        {-1, 0x1p30, 25, 30'000, 0},   // ties known from the index
        {2, 0x1p30, 26, 1e6, 0x1p30 + 90'000},
        {3, 0x1p20, -1, 1e6, 0},  // falling below half a unit: the run settles
    };
    for (const auto& c : cases) {
        for (const unsigned threads :
             kEmulated ? std::vector{1U, 3U, 64U} : std::vector{1U, 2U, 3U, 7U, 64U}) {
            // The default and a wider margin, in each vector width.
            for (const auto& [rules, wide] : {std::pair{0, true}, std::pair{0, false},
                                              std::pair{1, true}, std::pair{1, false}}) {
                FastSummationSettings settings = kSettings[rules];
                settings.wide_vectors = wide;
                settings.threads = threads;
                settings.threads_on_demand = false;
                settings.first_index = c.first;
                const double term = reihen::series_term(c.first, c.s);
                settings.start_sum = std::ldexp(1.0, 53 + std::ilogb(term) - c.k) - c.left * term;
                const double limit = c.last == 0 ? 0.0 : reihen::series_term(c.last, c.s);
                StopAfter monitor(100'000);
                const double sum = reihen::sum_series_fast(c.s, limit, monitor, settings);
                SCOPED_TRACE(testing::Message() << threads << " threads, wide " << wide);
                expect_same(plain_from(c.s, limit, settings, monitor.terms_).sum, sum, c.s,
                            std::log10(limit), rules);
            }
        }
    }
}

// s = 0 adds 2^53 - 1 terms of 1 before the index stops growing: a count
// that a 32-bit std::size_t would wrap, told whole to the monitor.
TEST(Summation, CountsPastTwoToThe32AreToldWhole) {
    struct LastCount : SummationMonitor {
        void progress(std::uint64_t terms, double) override { last = terms; }
        std::uint64_t last = 0;
    } monitor;
    reihen::RunStatistics statistics;
    const double sum = reihen::sum_series_fast(0.0, 0.0, monitor, {}, &statistics);
    EXPECT_EQ(sum, 0x1p53);
    EXPECT_EQ(monitor.last, (std::uint64_t{1} << 53) - 1);
    EXPECT_EQ(statistics.next_index, 0x1p53);
}

TEST(Summation, RunsEndWithTheValueThePlainLoopKeeps) {
    // With L = 0 the plain loop would go on for ever; from the point where
    // no term can change the sum any more, its sum stays what it is.
    const struct {
        double s;
        double last_n;  // well past that point
    } cases[] = {{3, 1 << 20}, {4, 1 << 16}, {2.5, 1 << 23}, {13, 64}, {19.3, 64}, {100, 8}};
    for (const auto& c : cases) {
        const double settled = plain(c.s, reihen::series_term(c.last_n, c.s));
        expect_same(settled, fast(c.s, 0.0), c.s, -400, -1);
        expect_same(settled, fast(c.s, reihen::power(10.0, -40)), c.s, -40, -1);
    }
}

}  // namespace
