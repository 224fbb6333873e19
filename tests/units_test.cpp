// The ground the exact engine stands on: the sum's last-place unit, and what
// the rounding of one term is known to do, at the edges of a binade, at
// ties and where the margin is just met or just missed.
#include "units.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

using namespace reihen::engine;

TEST(Units, ScaleIsTheInverseOfTheSumsLastPlace) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double sum;
        double scale;
    } cases[] = {
        {1.0, 0x1p52},
        {1.5, 0x1p52},
        {std::nextafter(2.0, 0.0), 0x1p52},  // the top of a binade
        {2.0, 0x1p51},                       // and the bottom of the next
        {0x1p-971, 0x1p1023},                // the smallest sum whose scale is a double
        {std::nextafter(0x1p-971, 0.0), 0.0},
        {DBL_MIN, 0.0},
        {DBL_MAX, 0x1p-971},
        {0.0, 0.0},
        {0x1p-1070, 0.0},  // subnormal
        {-1.0, 0.0},
        {inf, 0.0},
        {std::nan(""), 0.0},
    };
    for (const auto& c : cases) EXPECT_EQ(unit_scale(c.sum), c.scale) << c.sum;
}

TEST(Units, ClassifyTellsOnlyWhatTheMarginMakesCertain) {
    const double margin = 0x1p-10;
    const double inf = std::numeric_limits<double>::infinity();
    // Values in units of 1/64, the limit at 1.0; where the rule for falling
    // terms holds, a term below half a unit settles the run.
    const Rules falling{
        .scale = 64.0, .limit = 1.0, .margin = margin, .never_grow = true, .shortest_stretch = 4.0};
    Rules growing = falling;
    growing.never_grow = false;
    growing.limit = 0.0;
    Rules tight = growing;  // a margin that leaves room at 2^51 units
    tight.margin = 0x1p-60;
    Rules no_unit = falling;
    no_unit.scale = 0.0;
    const struct {
        const char* name;
        double y;  // the value in units
        const Rules& rules;
        Verdict verdict;
        double units;
    } cases[] = {
        {"inside", 100.25, falling, Verdict::kUnits, 100.0},
        {"rounded up", 100.75, falling, Verdict::kUnits, 101.0},
        {"a tie", 100.5, falling, Verdict::kUncertain, 0.0},
        {"the margin just met", 100.0 + 0.5 - margin * 100.6, falling, Verdict::kUnits, 100.0},
        {"the margin just missed", 100.0 + 0.5 - margin * 100.4, falling, Verdict::kUncertain, 0.0},
        {"below half a unit, growing", 0.4, growing, Verdict::kUnits, 0.0},
        {"at 2^51 units", 0x1p51, tight, Verdict::kUncertain, 0.0},
        {"just below 2^51 units", 0x1p51 - 1.0, tight, Verdict::kUnits, 0x1p51 - 1.0},
        {"no unit", 100.25, no_unit, Verdict::kUncertain, 0.0},
        {"certainly below the limit", 64.0 * (1.0 - 2.0 * margin), falling, Verdict::kBelowLimit,
         0.0},
        {"at the limit", 64.0, falling, Verdict::kUncertain, 0.0},
        {"certainly above the limit", 64.375, falling, Verdict::kUnits, 64.0},
        {"out of range", 0x1p1001 * 64.0, growing, Verdict::kUncertain, 0.0},
        {"infinite", inf, growing, Verdict::kUncertain, 0.0},
        {"not a number", std::nan(""), growing, Verdict::kUncertain, 0.0},
    };
    for (const auto& c : cases) {
        const Classified got = classify(c.y / c.rules.scale, c.rules);
        EXPECT_EQ(got.verdict, c.verdict) << c.name;
        EXPECT_EQ(got.units, c.units) << c.name;
    }
    // Below half a unit where the terms fall: certain only where the margin
    // keeps it from half a unit, and then the run is over.
    const Rules settling{.scale = 0x1p10,
                         .limit = 0.0,
                         .margin = margin,
                         .never_grow = true,
                         .shortest_stretch = 4.0};
    EXPECT_EQ(classify(0.4 / 0x1p10, settling).verdict, Verdict::kSettled);
    EXPECT_EQ(classify((0.5 - margin * 0.4) / 0x1p10, settling).verdict, Verdict::kUncertain);
}

}  // namespace
