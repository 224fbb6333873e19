#include "block_scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "fast_summation.h"
#include "lanes.h"
#include "plain_summation.h"

namespace {

using namespace reihen::engine;

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
        {-26, 0x1p31, 0x1p31, 1 << 16},  // every index sorted on its own
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
        for (const bool wide : {false, wide_vectors_available()}) {
            SCOPED_TRACE(testing::Message() << "s=" << c.s << " n0=" << c.n0 << " wide " << wide);
            const Rules rules{scale, 0.0, defaults.margin, c.s >= 0.0, defaults.shortest_stretch,
                              wide};
            Slice slice;
            slice.n0 = c.n0;
            slice.length = c.length;
            scan_slice(slice, c.s, binomial_coefficients(c.s), binomial_coefficients(1.0 / c.s),
                       rules);
            EXPECT_EQ(slice.end, SliceEnd::kOpen);
            EXPECT_EQ(slice.length, c.length);
            EXPECT_EQ(slice.units, expected);
        }
    }
}

}  // namespace
