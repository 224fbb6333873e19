#include "block_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lanes.h"
#include "series.h"
#include "settings.h"
#include "stretch_walk.h"

namespace {

using namespace reihen::engine;

// The kernels' widths this processor runs.
std::vector<Width> widths() {
    if (wide_vectors_available()) return {Width::kBaseline, Width::kWide};
    return {Width::kBaseline};
}

// One thread's share against each index's own computed term: the units it
// adds, where no term of it is a tie. The sum's binade is that of about
// n^(1 - s) / (1 - s) at `binade_at`.
TEST(BlockScan, SharesAddTheUnitsOfEachTerm) {
    const struct {
        double s;
        double binade_at;
        double n0;
        std::size_t length;
    } cases[] = {
        {-26, 0x1p31, 0x1p31, 1 << 16},  // every index classified on its own
        {-26, 0x1p34, 0x1p34, 1 << 18},  // stretches of about 150, walked
        // An anchor whose first stretch ends within a quarter of an
        // index of its start.
        {-26, 0x1p34, 17193035568, 4096},
        {-3, 0x1p40, 0x1p40, 1 << 16},
        {2, 0x1p20, 0x1p20, 1 << 16},    // falling terms
        {0.5, 0x1p28, 0x1p28, 1 << 16},  // falling, stretches of about 100, walked
    };
    const reihen::FastSummationSettings defaults;
    for (const auto& c : cases) {
        const double sum = reihen::series_term(c.binade_at, c.s) * c.binade_at / (1.0 - c.s);
        double expected = 0.0;
        const double scale = unit_scale(sum);
        for (std::size_t i = 0; i < c.length; ++i) {
            const double y = reihen::series_term(c.n0 + static_cast<double>(i), c.s) * scale;
            ASSERT_NE(std::fabs(y - std::nearbyint(y)), 0.5) << "a tie: choose another share";
            expected += std::nearbyint(y);
        }
        for (const Width width : widths()) {
            SCOPED_TRACE(testing::Message()
                         << "s=" << c.s << " n0=" << c.n0 << " wide " << (width == Width::kWide));
            const Rules rules{.scale = scale,
                              .limit = 0.0,
                              .margin = defaults.margin,
                              .never_grow = c.s >= 0.0,
                              .shortest_stretch = defaults.shortest_stretch};
            Slice slice;
            slice.n0 = c.n0;
            slice.length = c.length;
            scan_slice(slice,
                       {c.s, binomial_coefficients(c.s), binomial_coefficients(1.0 / c.s), rules},
                       width);
            EXPECT_EQ(slice.result.end, SliceEnd::kOpen);
            EXPECT_EQ(slice.result.length, c.length);
            EXPECT_EQ(slice.result.units, expected);
        }
    }
}

// What adding y units (a computed term scaled) does to m units within a
// binade: rounds m + y to nearest, ties to even.
std::uint64_t add_units(std::uint64_t m, double y) {
    const double k = std::floor(y);
    const auto whole = static_cast<std::uint64_t>(k);
    if (y - k != 0.5) return m + static_cast<std::uint64_t>(std::nearbyint(y));
    return m + whole + ((m + whole) % 2);
}

// A share with ties against the plain loop's additions in units, from an
// odd unit count: the share's certain units and its listed terms, added in
// order as the main thread adds them, give what each index's own term gives.
TEST(BlockScan, SharesWithTiesAddWhatEachTermAdds) {
    const struct {
        double s;
        double n0;
        std::size_t length;
        double scale;
        double margin = 0.0;  // 0: the default
    } cases[] = {
        {-1, 0x1p30, 5000, 0x1p-5},         // a tie every 32 indices, known from the index
        {-1, 0x1p30 + 16, 100, 0x1p-5},     // starting at a tie
        {-1, 0x1p30 + 17, 20, 0x1p-5},      // no tie in the share
        {-1, 0x1p27 + 1, 5000, 0x1p-1},     // a tie every other index
        {-1, 0x1p37, 5000, 0x1p-1},         // where some of them are no ties
        {-1, 0x1p38 - 2048, 5000, 0x1p-9},  // past where the index tells
        // A wide margin: every index put off, ties and others between them.
        {-1, 0x1p27 + 2, 5000, 0x1p-1, 0x1p-20},
        {-2, 0x1p20, 5000, 0x1p-1, 0x1p-30},
        {-2, 0x1p20, 5000, 0x1p-1},  // squares, near ties
        {-3, 0x1p14, 5000, 0x1p-3},
    };
    const reihen::FastSummationSettings defaults;
    const std::uint64_t start = (std::uint64_t{1} << 52) + 1;
    for (const auto& c : cases) {
        std::uint64_t expected = start;
        for (std::size_t i = 0; i < c.length; ++i) {
            const double n = c.n0 + static_cast<double>(i);
            expected = add_units(expected, reihen::series_term(n, c.s) * c.scale);
        }
        for (const Width width : widths()) {
            SCOPED_TRACE(testing::Message()
                         << "s=" << c.s << " n0=" << c.n0 << " wide " << (width == Width::kWide));
            const double margin = c.margin == 0.0 ? defaults.margin : c.margin;
            const Rules rules{.scale = c.scale,
                              .limit = 0.0,
                              .margin = margin,
                              .never_grow = false,
                              .shortest_stretch = defaults.shortest_stretch};
            Slice slice;
            slice.n0 = c.n0;
            slice.length = c.length;
            scan_slice(slice,
                       {c.s, binomial_coefficients(c.s), binomial_coefficients(1.0 / c.s), rules},
                       width);
            ASSERT_EQ(slice.result.end, SliceEnd::kOpen);
            ASSERT_FALSE(slice.result.cut);
            std::uint64_t m = start;
            double added = 0.0;
            for (const Uncertain& u : slice.result.uncertain) {
                m += static_cast<std::uint64_t>(u.units_before - added);
                m = add_units(m, u.term * c.scale);
                added = u.units_before;
            }
            m += static_cast<std::uint64_t>(slice.result.units - added);
            EXPECT_EQ(m, expected);
        }
    }
}

// A slice whose list of uncertain indices fills is cut short at the first
// index it cannot list: its length and units are those before that index,
// whatever its kernel finds after it (terms to list, units, the slice's end).
// Near the limit every value is uncertain, so each term is computed: those
// not above the limit are listed, the others add their units.
TEST(BlockScan, ASliceCutShortKeepsWhatCameBeforeTheCut) {
    const struct {
        const char* name;
        double s;
        std::size_t above;     // the terms of the first `above` indices lie above the limit
        std::size_t capacity;  // the list's
    } cases[] = {
        // Listed first, then units after the cut.
        {"growing terms crossing the limit", -26, 0, 2},
        // Units, then listed terms, a cut, more of them and then, 40
        // indices on, the end where the values lie certainly below the limit.
        {"falling terms crossing the limit", 26, 4, 1},
    };
    // One anchor spans the first 9000 indices, classified one by one.
    const double n0 = 0x1p30;
    const std::size_t length = 5000;
    for (const auto& c : cases) {
        // The limit lies between two terms, 4 indices from the start where
        // the terms grow; no term is a tie.
        const std::size_t crossing = c.s < 0 ? 4 : c.above;
        const double below_crossing =
            reihen::series_term(n0 + static_cast<double>(crossing) - 1.0, c.s);
        const double at_crossing = reihen::series_term(n0 + static_cast<double>(crossing), c.s);
        const double limit = (below_crossing + at_crossing) / 2.0;
        const double scale = std::ldexp(1.0, 10 - std::ilogb(at_crossing));
        const auto listed = [&](std::size_t i) {
            return !(reihen::series_term(n0 + static_cast<double>(i), c.s) > limit);
        };
        // The cut lies at the listed index that finds the list full.
        std::size_t cut_at = 0;
        double units_before = 0.0;
        for (std::size_t seen = 0;; ++cut_at) {
            if (listed(cut_at)) {
                if (seen++ == c.capacity) break;
            } else {
                units_before += std::nearbyint(
                    reihen::series_term(n0 + static_cast<double>(cut_at), c.s) * scale);
            }
        }
        for (const Width width : widths()) {
            SCOPED_TRACE(testing::Message() << c.name << ", wide " << (width == Width::kWide));
            const Rules rules{.scale = scale,
                              .limit = limit,
                              .margin = 0x1p-20,
                              .never_grow = c.s >= 0.0,
                              .shortest_stretch = 4.0};
            Slice slice;
            slice.n0 = n0;
            slice.length = length;
            slice.most_uncertain = c.capacity;
            scan_slice(slice,
                       {c.s, binomial_coefficients(c.s), binomial_coefficients(1.0 / c.s), rules},
                       width);
            EXPECT_TRUE(slice.result.cut);
            EXPECT_EQ(slice.result.end, SliceEnd::kOpen);
            EXPECT_EQ(slice.result.length, cut_at);
            EXPECT_EQ(slice.result.uncertain.size(), c.capacity);
            EXPECT_EQ(slice.result.units, units_before);
        }
    }
}

// The search for a stretch's end finds the last offset that holds, from
// any guess: right, short, past it, before the start, past the anchor, NaN.
TEST(BlockScan, StretchEndIsFoundFromAnyGuess) {
    const double nan = std::nan("");
    const struct {
        double d1;    // the slope of y(i) = 10 + d1 i
        double p;     // the start, which holds
        double last;  // the anchor's last offset
    } stretches[] = {
        {0.001, 0.0, 2000.0},   // rising: the end at 449
        {-0.001, 7.0, 2000.0},  // falling, from an offset within
        {0.001, 0.0, 300.0},    // the stretch reaches the anchor's end
        {0.5, 0.0, 2000.0},     // a stretch of one offset
        {0.5, 0.0, 1.0},        // and a predicted end one past it, which is the bound
    };
    const double inside = 0.45;
    for (const auto& c : stretches) {
        const Cubic y{10.0, c.d1, 0.0, 0.0};
        double expected = c.p;
        while (expected < c.last && std::fabs(y(expected + 1.0) - 10.0) < inside) expected += 1.0;
        for (const double guess : {expected, expected - 5.0, expected + 1.0, expected + 700.0, c.p,
                                   c.p - 3.0, c.last, c.last + 50.0, nan}) {
            EXPECT_EQ(stretch_end(y, inside, 10.0, c.p, guess, c.last), expected)
                << "slope " << c.d1 << " guess " << guess;
        }
    }
}

}  // namespace
