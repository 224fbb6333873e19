// The engine's rarer paths, each made to happen on purpose through the
// settings and a far-out start, shown to have happened by the run's
// statistics, and checked against the plain loop bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "fast_summation.h"
#include "plain_from.h"
#include "series.h"
#include "stop_after.h"

namespace {

using reihen::FastSummationSettings;
using reihen::RunEnd;
using reihen::RunStatistics;

constexpr double kTwo53 = 0x1p53;
constexpr std::uint64_t kMostPlainTerms = 20'000'000;

// A start sum from which the term at `first` adds about `units` units of
// the sum's last place.
double sum_of_units(double s, double first, double units) {
    return reihen::series_term(first, s) * (0x1p52 / units);
}

// A start sum `left` terms below the top of the binade whose unit is about
// 2^-k of the term at `first`.
double sum_below_top(double s, double first, int k, double left) {
    const double term = reihen::series_term(first, s);
    return std::ldexp(1.0, 53 + std::ilogb(term) - k) - left * term;
}

// A limit halfway between the terms at n and n + 1.
double between_terms(double s, double n) {
    return (reihen::series_term(n, s) + reihen::series_term(n + 1, s)) / 2;
}

// Where a run starts: s, the first index and the sum before it, and the limit.
struct Start {
    double s;
    double first;
    double sum;
    double limit = 0.0;
};

struct RarePath {
    const char* name;
    Start start;
    FastSummationSettings settings;
    std::uint64_t RunStatistics::*shown;  // a count that the path makes positive
    RunEnd end = RunEnd::kStopped;
    std::uint64_t terms = 200'000;  // the run is stopped after about this many
    std::uint64_t plain_terms = 0;  // those the plain loop adds, where not the run's
    // Whether the path needs the platform's own terms: a tie that a pow
    // erring on purpose moves away, after which the run takes another path
    // and, past n = 2^53, goes on beyond the plain loop's reach.
    bool exact_terms = false;
};

// Whether this build's pow errs on purpose, as much as the argument allows.
#ifdef REIHEN_SKEWED_POW
constexpr bool kSkewedPow = true;
#else
constexpr bool kSkewedPow = false;
#endif

const RarePath kPaths[] = {
    {.name = "a piece cut short, falling terms where they settle",
     .start = {.s = 3, .first = 0x1p20, .sum = sum_of_units(3, 0x1p20, 0.3)},
     .settings = {.margin = 0x1p-8,
                  .stretches_per_anchor = 1e-9,
                  .threads = 3,
                  .threads_on_demand = false,
                  .most_uncertain = 2},
     .shown = &RunStatistics::pieces_cut,
     .end = RunEnd::kSettled},
    {.name = "a piece cut short at each second uncertain index, on one thread",
     .start = {.s = 3, .first = 0x1p20, .sum = sum_of_units(3, 0x1p20, 0.3)},
     .settings = {.margin = 0x1p-8,
                  .stretches_per_anchor = 1e-9,
                  .wide_vectors = false,
                  .threads = 1,
                  .threads_on_demand = false,
                  .most_uncertain = 1},
     .shown = &RunStatistics::pieces_cut,
     .end = RunEnd::kSettled},
    {.name = "a piece cut short in the middle of a block, at a term near the limit after a tie",
     .start = {.s = 3,
               .first = 0x1p20,
               .sum = sum_of_units(3, 0x1p20, 0x1p44),
               .limit = between_terms(3, 0x1p20 + 137)},
     .settings = {.margin = 0x1p-12,
                  .stretches_per_anchor = 1e-9,
                  .threads = 2,
                  .threads_on_demand = false,
                  .most_uncertain = 1},
     .shown = &RunStatistics::pieces_cut,
     .end = RunEnd::kLimit,
     .exact_terms = true},
    {.name = "a piece cut short, growing terms large against the sum",
     .start = {.s = -26, .first = 1.0, .sum = 0.0},
     .settings = {.margin = 0x1p-8, .threads = 2, .threads_on_demand = false, .most_uncertain = 2},
     .shown = &RunStatistics::pieces_cut},
    {.name = "pieces scanned ahead for a binade the sum has left",
     .start = {.s = -26, .first = 0x1p31, .sum = sum_below_top(-26, 0x1p31, 20, 100)},
     .settings = {.threads = 3, .threads_on_demand = false},
     .shown = &RunStatistics::pieces_dropped},
    {.name = "walked stretches whose crossings often fail their checks, the margin being wide",
     .start = {.s = -3, .first = 0x1p45, .sum = sum_of_units(-3, 0x1p45, 0x1p34)},
     .settings =
         {.margin = 0x1p-30, .shortest_stretch = 1.0, .threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::blocks},
    {.name = "blocks of stretches two or three indices long",
     .start = {.s = -3, .first = 0x1p45, .sum = sum_of_units(-3, 0x1p45, 0x1p45 / 9)},
     .settings = {.threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::blocks},
    {.name = "blocks of terms nearly as large as the sum",
     .start = {.s = -3, .first = 0x1p30, .sum = 2 * reihen::series_term(0x1p30, -3)},
     .settings = {.threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::pieces_across_binades},
    {.name = "a piece in which the sum leaves its binade and the terms then fall below the limit",
     .start = {.s = 2,
               .first = 0x1p30,
               .sum = sum_below_top(2, 0x1p30, 34, 20),
               .limit = between_terms(2, 0x1p30 + 40)},
     .settings = {.stretches_per_anchor = 1e-9, .threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::pieces_across_binades,
     .end = RunEnd::kLimit},
    {.name = "single stretches across binades",
     .start = {.s = 0.5, .first = 0x1p44, .sum = sum_of_units(0.5, 0x1p44, 0x1p38)},
     .settings = {.stretches_per_anchor = 1e300},
     .shown = &RunStatistics::single_indices},
    {.name = "single stretches to a limit",
     .start = {.s = 2,
               .first = 0x1p30,
               .sum = sum_of_units(2, 0x1p30, 0x1p26),
               .limit = reihen::series_term(0x1p30 + 90'000, 2)},
     .settings = {.shortest_stretch = 1.0, .stretches_per_anchor = 1e300},
     .shown = &RunStatistics::stretches,
     .end = RunEnd::kLimit},
    {.name = "a predicted stretch end that overshoots",
     .start = {.s = -2, .first = 0x1p20, .sum = sum_of_units(-2, 0x1p20, 0.1)},
     .settings = {.margin = 0x1p-12, .stretches_per_anchor = 1e300},
     .shown = &RunStatistics::stretches_overshot,
     .end = RunEnd::kStopped,
     .terms = 2'000'000},
    {.name = "s = -1, a tie at every other index and so at every piece's edge",
     .start = {.s = -1, .first = 0x1p27, .sum = sum_of_units(-1, 0x1p27, 0x1p26)},
     .settings = {.threads = 3, .threads_on_demand = false},
     .shown = &RunStatistics::pieces_by_index},
    {.name = "s = -1, on to where the index no longer tells the ties",
     .start = {.s = -1, .first = 0x1p38 - 50'000, .sum = sum_of_units(-1, 0x1p38 - 50'000, 0x1p28)},
     .settings = {.threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::pieces_by_index},
    {.name = "single stretches that settle",
     .start = {.s = 3, .first = 1258291, .sum = sum_of_units(3, 1258291, 0.55)},
     .settings = {},
     .shown = &RunStatistics::stretches,
     .end = RunEnd::kSettled},
    {.name = "single stretches ending where the next term lies certainly below the limit",
     .start = {.s = 20,
               .first = 0x1p20,
               .sum = sum_of_units(20, 0x1p20, 3),
               .limit = between_terms(20, 0x1p20 + 5000)},
     .settings = {.stretches_per_anchor = 1e300},
     .shown = &RunStatistics::stretches,
     .end = RunEnd::kLimit},
    {.name = "single indices where the terms are too large for an approximation",
     .start = {.s = -20, .first = 0x1p50 + 1000, .sum = sum_of_units(-20, 0x1p50 + 1000, 0x1p30)},
     .settings = {.stretches_per_anchor = 1e300},
     .shown = &RunStatistics::single_indices},
    {.name = "single indices where the terms are too small for an approximation",
     .start = {.s = 20, .first = 0x1p50 + 1000, .sum = sum_of_units(20, 0x1p50 + 1000, 0x1p20)},
     .settings = {.stretches_per_anchor = 1e300},
     .shown = &RunStatistics::single_indices},
    {.name = "blocks across terms too large for an approximation",
     .start = {.s = -20,
               .first = 0x1p50 - 100'000,
               .sum = sum_of_units(-20, 0x1p50 - 100'000, 0x1p30)},
     .settings = {.threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::blocks},
    {.name = "blocks across terms too small for an approximation",
     .start = {.s = 20,
               .first = 0x1p50 - 100'000,
               .sum = sum_of_units(20, 0x1p50 - 100'000, 0x1p20)},
     .settings = {.shortest_stretch = 1e12,
                  .stretches_per_anchor = 1e-9,
                  .threads = 2,
                  .threads_on_demand = false},
     .shown = &RunStatistics::blocks},
    {.name = "a sum too small to have a unit, index by index and never in blocks",
     .start = {.s = 20,
               .first = 0x1p50 - 100'000,
               .sum = sum_of_units(20, 0x1p50 - 100'000, 0x1p44)},
     .settings = {.stretches_per_anchor = 1e-9, .threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::single_indices},
    {.name = "blocks of an exponent whose inverse series has no finite coefficients",
     .start = {.s = -1e-200, .first = 0x1p30, .sum = sum_of_units(-1e-200, 0x1p30, 1000)},
     .settings = {.stretches_per_anchor = 1e-300, .threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::blocks},
    {.name = "blocks of s = 0, every term 1",
     .start = {.s = 0, .first = 0x1p30, .sum = sum_of_units(0, 0x1p30, 1000)},
     .settings = {.stretches_per_anchor = 1e-300, .threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::blocks},
    {.name = "s = -1 in blocks of a margin too wide to tell the ties by the index",
     .start = {.s = -1, .first = 0x1p27, .sum = sum_of_units(-1, 0x1p27, 0x1p26)},
     .settings = {.margin = 0x1p-18,
                  .stretches_per_anchor = 1e-9,
                  .threads = 2,
                  .threads_on_demand = false},
     .shown = &RunStatistics::blocks},
    {.name = "s = -1 in blocks of a unit too large to tell the ties by the index",
     .start = {.s = -1, .first = 0x1p30, .sum = sum_of_units(-1, 0x1p30, 0x1p-18)},
     .settings = {.stretches_per_anchor = 1e-9, .threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::blocks,
     .end = RunEnd::kStopped,
     .terms = 10'000},
    {.name = "single stretches up to n = 2^53, where the fixed term is the limit",
     .start = {.s = 1,
               .first = kTwo53 - 1e6,
               .sum = sum_of_units(1, kTwo53 - 1e6, 1000),
               .limit = reihen::series_term(kTwo53, 1)},
     .settings = {},
     .shown = &RunStatistics::stretches,
     .end = RunEnd::kLimit,
     .terms = 2'000'000},
    {.name = "blocks up to n = 2^53, then the fixed term up to a binade's top, where it is a tie",
     .start = {.s = -1, .first = kTwo53 - 1000, .sum = 0x1p106 - 3000 * 0x1p53},
     .settings = {.stretches_per_anchor = 1e-9, .threads = 2, .threads_on_demand = false},
     .shown = &RunStatistics::blocks,
     .end = RunEnd::kFixedTerm,
     .terms = 200'000,
     .plain_terms = 100'000,
     .exact_terms = true},
    {.name = "the fixed term up to a binade's top, where it is a tie",
     .start = {.s = -1, .first = kTwo53 - 1000, .sum = 0x1p106 - 3000 * 0x1p53},
     .settings = {},
     .shown = &RunStatistics::fixed_term_binades,
     .end = RunEnd::kFixedTerm,
     .terms = 200'000,
     .plain_terms = 100'000,
     .exact_terms = true},
    {.name = "the fixed term on to infinity",
     .start = {.s = -18.5,
               .first = kTwo53 - 1000,
               .sum =
                   std::numeric_limits<double>::max() - 3000 * reihen::series_term(kTwo53, -18.5)},
     .settings = {},
     .shown = &RunStatistics::fixed_term_binades,
     .end = RunEnd::kInfinite,
     .terms = 200'000,
     .plain_terms = 100'000},
};

// Each path with the kernels for the widest vectors and for those every
// processor has.
TEST(RarePaths, EachHappensAndGivesThePlainSum) {
    for (const RarePath& path : kPaths) {
        if (kSkewedPow && path.exact_terms) continue;
        for (const bool wide : {true, false}) {
            SCOPED_TRACE(testing::Message() << path.name << (wide ? "" : ", baseline kernels"));
            RunStatistics statistics;
            FastSummationSettings settings = path.settings;
            settings.wide_vectors = settings.wide_vectors && wide;
            settings.first_index = path.start.first;
            settings.start_sum = path.start.sum;
            StopAfter monitor(path.terms);
            const double sum = reihen::sum_series_fast(path.start.s, path.start.limit, monitor,
                                                       settings, &statistics);
            // A run that ends at the limit is followed by the plain loop
            // up to the limit too.
            const bool to_limit = path.end == RunEnd::kLimit;
            const std::uint64_t terms = to_limit                ? kMostPlainTerms
                                        : path.plain_terms != 0 ? path.plain_terms
                                                                : monitor.terms_;
            ASSERT_LE(monitor.terms_, kMostPlainTerms) << "beyond the plain loop";
            const reihen::PlainSum expected =
                plain_from(path.start.s, path.start.limit, settings, terms);
            EXPECT_GT(statistics.*path.shown, 0U);
            EXPECT_EQ(statistics.end, path.end);
            // The terms counted are those of the indices passed.
            EXPECT_EQ(statistics.next_index,
                      path.start.first + static_cast<double>(monitor.terms_));
            if (to_limit) {
                EXPECT_EQ(statistics.next_index, expected.n);
            }
            EXPECT_EQ(std::signbit(sum), std::signbit(expected.sum));
            EXPECT_EQ(sum, expected.sum);
        }
    }
}

}  // namespace
