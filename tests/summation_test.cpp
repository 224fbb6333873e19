#include "summation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <tuple>

#include "fast_summation.h"
#include "fixed_term.h"
#include "series.h"
#include "stop_after.h"

namespace {

using reihen::FastSummationSettings;
using reihen::SummationMonitor;

double plain(double s, double limit) { return reihen::sum_series_plain(s, limit); }

// The plain loop's sum of the first `count` terms.
double plain_terms(double s, std::uint64_t count) {
    double sum = 0.0;
    double n = 1.0;
    for (std::uint64_t i = 0; i < count; ++i, n += 1.0) sum += reihen::series_term(n, s);
    return sum;
}

// The plain loop's sum from the settings' first index and start sum, for
// `count` terms at most.
double plain_from(double s, double limit, const FastSummationSettings& from, std::uint64_t count) {
    double sum = from.start_sum;
    for (double n = from.first_index; n < from.first_index + static_cast<double>(count); n += 1) {
        if (!(reihen::series_term(n, s) > limit)) break;
        sum += reihen::series_term(n, s);
    }
    return sum;
}

double fast(double s, double limit) {
    SummationMonitor quiet;
    std::ostringstream out;
    const double sum = reihen::sum_series(s, limit, 0, out, quiet);
    EXPECT_EQ(out.str(), "");
    return sum;
}

// The default rules, and rules under which nearly every index takes the
// careful paths: margins so wide that many terms are uncertain, stretches
// looked for wherever one could hold a single term, on all threads or one
// after another, and the kernels for the vectors every processor has.
const FastSummationSettings kSettings[] = {
    {.threads = 2},
    {.margin = 0x1p-37, .shortest_stretch = 1.0, .stretches_per_anchor = 4.0, .threads = 2},
    {.margin = 0x1p-18, .shortest_stretch = 1.0, .stretches_per_anchor = 4.0, .threads = 3},
    {.margin = 0x1p-8, .shortest_stretch = 1.0, .stretches_per_anchor = 4.0, .threads = 2},
    {.margin = 0x1p-18, .shortest_stretch = 1.0, .stretches_per_anchor = 1e300},
    {.margin = 0x1p-37,
     .shortest_stretch = 1.0,
     .stretches_per_anchor = 4.0,
     .wide_vectors = false,
     .threads = 2},
};

// Bit for bit, so that -0.0 and 0.0 are told apart.
void expect_same(double expected, double actual, double s, double g, int rules) {
    EXPECT_EQ(std::signbit(expected), std::signbit(actual)) << "s=" << s << " G=" << g;
    EXPECT_EQ(expected, actual) << "s=" << s << " G=" << g << " rules " << rules;
}

TEST(Summation, FastEqualsPlainWhereThePlainLoopEnds) {
    const double exponents[] = {1,    2,  3,    1.5,  2.5, 0.7, 0.5,  0.3, 0.1,
                                1e-2, 13, 19.3, 19.5, 30,  100, 1e-9, 0};
    const double limit_exponents[] = {5, 0, -0.5, -1.5, -3, -5, -6.3, -12.9};
    for (const double s : exponents) {
        for (const double g : limit_exponents) {
            // Only runs of a million terms at most.
            if (g < 0 && (s <= 0 || -g / s > 6)) continue;
            const double limit = std::pow(10.0, g);
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
            StopAfter monitor(400'000);
            const double sum = reihen::sum_series_fast(s, 0.0, monitor, kSettings[rules]);
            ASSERT_GE(monitor.terms_, 400'000U) << s;
            EXPECT_EQ(sum, monitor.sum_) << s;
            expect_same(plain_terms(s, monitor.terms_), sum, s, -400, rules);
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
            expect_same(plain_from(c.s, limit, settings, monitor.terms_), sum, c.s,
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
        for (const unsigned threads : {1U, 2U, 3U, 7U, 64U}) {
            for (int rules = 0; rules < 2; ++rules) {
                FastSummationSettings settings = kSettings[rules];
                settings.threads = threads;
                settings.first_index = c.first;
                const double term = reihen::series_term(c.first, c.s);
                settings.start_sum = std::ldexp(1.0, 53 + std::ilogb(term) - c.k) - c.left * term;
                const double limit = c.last == 0 ? 0.0 : reihen::series_term(c.last, c.s);
                StopAfter monitor(100'000);
                const double sum = reihen::sum_series_fast(c.s, limit, monitor, settings);
                SCOPED_TRACE(testing::Message() << threads << " threads");
                expect_same(plain_from(c.s, limit, settings, monitor.terms_), sum, c.s,
                            std::log10(limit), rules);
            }
        }
    }
}

// Blocks are cut into pieces by their work: more threads than cores take
// more pieces of a long block, not smaller ones, so that each wake-up of a
// thread buys as much work. Runs from the start and far out, where blocks
// are kept short by the top of their binade.
TEST(Summation, MoreThreadsTakePiecesOfTheSameSize) {
    const struct {
        double s;
        double first;
        double start_sum;
    } cases[] = {
        {-26, 1, 0},
        {-7.5, 1, 0},
        {0.5, 1, 0},
        {-26, 0x1p31, 0x1p31 * reihen::series_term(0x1p31, -26)},
    };
    for (const auto& c : cases) {
        double length_on_two = 0.0;
        for (const unsigned threads : {2U, 64U}) {
            SCOPED_TRACE(testing::Message() << "s = " << c.s << ", " << threads << " threads");
            FastSummationSettings settings;
            settings.threads = threads;
            settings.first_index = c.first;
            settings.start_sum = c.start_sum;
            reihen::RunStatistics statistics;
            StopAfter monitor(50'000'000);
            reihen::sum_series_fast(c.s, 0.0, monitor, settings, &statistics);
            ASSERT_GT(statistics.pieces, 0U);
            const double length =
                static_cast<double>(monitor.terms_) / static_cast<double>(statistics.pieces);
            if (threads == 2) {
                length_on_two = length;
            } else {
                EXPECT_GT(length, 0.8 * length_on_two);
            }
        }
    }
}

TEST(Summation, RunsEndWithTheValueThePlainLoopKeeps) {
    // With L = 0 the plain loop would go on for ever; from the point where
    // no term can change the sum any more, its sum stays what it is.
    const struct {
        double s;
        double last_n;  // well past that point
    } cases[] = {{3, 1 << 20}, {4, 1 << 16}, {2.5, 1 << 23}, {13, 64}, {19.3, 64}, {100, 8}};
    for (const auto& c : cases) {
        const double settled = plain(c.s, 1.0 / std::pow(c.last_n, c.s));
        expect_same(settled, fast(c.s, 0.0), c.s, -400, -1);
        expect_same(settled, fast(c.s, std::pow(10.0, -40)), c.s, -40, -1);
    }
    // Growing terms past n = 2^53, where the term is fixed: from a sum in
    // the binade below, each term adds one unit up to the next binade, where
    // it is half a unit, a tie that leaves the even sum as it is.
    for (const auto& [s, start, end] :
         {std::tuple{-1.0, 0x1p105, 0x1p106}, std::tuple{-2.0, 0x1p158, 0x1p159}}) {
        SummationMonitor quiet;
        const FastSummationSettings far_out{.first_index = 0x1p53 - 1000, .start_sum = start};
        EXPECT_EQ(reihen::sum_series_fast(s, 0.0, quiet, far_out), end) << s;
    }
    // Every term 1: the sum counts up to 2^53 and stays there.
    EXPECT_EQ(fast(0.0, 0.1), 0x1p53);
    EXPECT_EQ(fast(-0.0, 0.0), 0x1p53);
    // Growing terms: 6^-400 is subnormal, its reciprocal infinite.
    EXPECT_EQ(fast(-400, 0.5), std::numeric_limits<double>::infinity());
}

// Whole runs that no plain loop finishes, against values from outside the
// engine: the harmonic series' sum in doubles, as published (D. Malone, "To
// what does the harmonic series converge?", Irish Math. Soc. Bulletin 71,
// 2013); every term 1 counts up to 2^53, where 1 is half a unit and the even
// sum stays; s = -1 reaches n = 2^53 below 2^106, and its fixed term 2^53
// then adds one unit at a time up to 2^106, where it is half a unit (P6).
TEST(Summation, WholeRunsEndWithTheirKnownValues) {
    const struct {
        double s;
        double sum;
    } cases[] = {
        {1.0, 34.1220356680478715816207113675773143768310546875},
        {0.0, 0x1p53},
        {-1.0, 0x1p106},
    };
    for (const auto& c : cases) {
        expect_same(c.sum, fast(c.s, std::pow(10.0, -400)), c.s, -400, -1);
    }
}

TEST(Summation, RepeatedAdditionInClosedFormMatchesOneAtATime) {
    const double u = 0x1p-52;  // last-place unit of the sums in [1, 2)
    const struct {
        double sum;
        double term;
    } cases[] = {
        {1.0, u / 2},                   // a tie from an even sum: no change
        {1.0 + u, u / 2},               // a tie from an odd sum: once, then no change
        {1.0 + u, 2.5 * u},             // ties of an even k
        {1.0, 3.5 * u},                 // ties of an odd k
        {1.0, 0.3 * u},                 // below half a unit
        {2.0 - 1000 * u, 7.25 * u},     // into the next binade
        {2.0 - u, u},                   // at a binade's top, where the term becomes a tie
        {2.0 - 4 * u, 3 * u},           // one step inside the binade, the next out of it
        {0.0, 0.75},                    // from a sum with no unit
        {1.5, 0x1p-30},                 // through many binades
        {0x1.fffffffffp1023, 0x1p990},  // on to infinity
        {1.0, 3.0},                     // a term larger than the sum
    };
    std::mt19937_64 random(11);
    for (const auto& c : cases) {
        for (const double times : {0.0, 1.0, 2.0, 3.0, 1000.0, 2'000'000.0}) {
            double expected = c.sum;
            for (double i = 0; i < times; i += 1.0) expected += c.term;
            EXPECT_EQ(reihen::add_repeatedly(c.sum, c.term, times), expected)
                << c.sum << " + " << c.term << " x " << times;
        }
    }
    // Random sums near the top of a binade and terms of a few units or
    // halves of one, so that ties and crossings are common.
    for (int round = 0; round < 300; ++round) {
        const double top = std::ldexp(1.0, static_cast<int>(random() % 64) - 20);
        const double unit = top * 0x1p-53;
        const double sum = top - unit * static_cast<double>(random() % 4'000'000);
        const double term = unit / 2 * static_cast<double>(random() % 64);
        double expected = sum;
        for (int i = 0; i < 300'000; ++i) expected += term;
        EXPECT_EQ(reihen::add_repeatedly(sum, term, 300'000.0), expected) << round;
    }
}

TEST(Summation, ReportLinesStopOnceTheSumIsInfinite) {
    SummationMonitor quiet;
    std::ostringstream out;
    EXPECT_TRUE(std::isinf(reihen::sum_series(-400, 0.5, 1, out, quiet)));
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);  // 6^400 overflows
    EXPECT_NE(text.find("Zwischensumme: inf   Summand: inf\n"), std::string::npos);
}

}  // namespace
