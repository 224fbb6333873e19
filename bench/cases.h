// The cases that both benchmarks time: the first is T0, the plain loop's
// 10^8 terms at s = 0.7, which every other time is measured against.
#pragma once

namespace reihen::bench {

struct Case {
    const char* name;
    double s;
    double g;
    bool run_plain;  // false where the plain loop would take minutes
};

inline constexpr Case kCases[] = {
    {"T0: s=0.7 G=-5.6 (1e8 terms)", 0.7, -5.6, true},
    {"s=0.7 G=-6.3 (1e9 terms)", 0.7, -6.3, true},
    {"s=1.5 G=-13.5 (1e9 terms)", 1.5, -13.5, true},
    {"s=1 G=-8 (1e8 terms)", 1, -8, true},
    {"s=2 G=-16 (1e8 terms)", 2, -16, true},
    {"s=1 G=-20", 1, -20, false},
    {"s=1 G=-400", 1, -400, false},
    {"s=0.5 G=-400", 0.5, -400, false},
    {"s=0.3 G=-400", 0.3, -400, false},
    {"s=0.1 G=-400", 0.1, -400, false},
    {"s=2 G=-400", 2, -400, false},
    {"s=0 G=-1", 0, -1, false},
    {"s=-1 G=-1", -1, -1, false},
    {"s=-3 G=-1", -3, -1, false},
    {"s=-5 G=-1", -5, -1, false},
    {"s=-2.5 G=-1", -2.5, -1, false},
    {"s=-7.5 G=-1", -7.5, -1, false},
    {"s=-12.25 G=-1", -12.25, -1, false},
    {"s=-20 G=-1", -20, -1, false},
    {"s=-25 G=-1", -25, -1, false},
    {"s=-26 G=-1", -26, -1, false},
    {"s=-27.5 G=-1", -27.5, -1, false},
    {"s=-28 G=-1", -28, -1, false},
    {"s=-30 G=-1", -30, -1, false},
};

}  // namespace reihen::bench
