// Sums pinned to values from outside the engine, which hold for this
// platform's pow (and for none that errs more), and what holds for any pow:
// how blocks are cut into pieces and the closed form of repeated addition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

#include "dialogue/summation.h"
#include "emulated.h"
#include "fast_summation.h"
#include "fixed_term.h"
#include "power.h"
#include "same_sum.h"
#include "series.h"
#include "stop_after.h"

namespace {

using reihen::FastSummationSettings;
using reihen::SummationMonitor;

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
            settings.threads_on_demand = false;
            settings.first_index = c.first;
            settings.start_sum = c.start_sum;
            reihen::RunStatistics statistics;
            StopAfter monitor(kEmulated ? 5'000'000 : 50'000'000);
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

// Growing terms past n = 2^53, where the term is fixed, and terms that are
// all 1 or overflow at once.
TEST(Summation, RunsPastTheIndicesEndWithTheValueThePlainLoopKeeps) {
    // From a sum in the binade below, each term adds one unit up to the
    // next binade, where it is half a unit, a tie that leaves the even sum
    // as it is.
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
        // Emulated, the longest run is left to the program's own piped test.
        if (kEmulated && c.s == -1.0) continue;
        expect_same(c.sum, fast(c.s, reihen::power(10.0, -400)), c.s, -400, -1);
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
