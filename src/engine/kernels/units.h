// The sum's last-place unit, and what the rounding of one term is known to
// do: the ground the exact engine stands on. doc/exact-summation.md holds
// the argument, step by step (A, P1 to P9); the code cites its steps.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace reihen::engine {

constexpr double kTwo51 = 0x1p51;
constexpr double kTwo52 = 0x1p52;
constexpr double kTwo53 = 0x1p53;
constexpr std::uint64_t kTopUnits = std::uint64_t{1} << 53;

// v rounded to a whole number, ties to even, for 0 <= v < 2^52: added to
// 2^52, which leaves no bits below the point, and taken away again; for a
// double or a vector of them.
template <class V>
[[gnu::always_inline]] inline V round_to_whole(const V& v) {
    return (v + kTwo52) - kTwo52;
}

// The same for |v| < 2^51 of either sign, by 1.5 * 2^52.
constexpr double kRoundingShift = 0x1.8p52;
template <class V>
[[gnu::always_inline]] inline V round_to_whole_signed(const V& v) {
    return (v + kRoundingShift) - kRoundingShift;
}

// The range in which pow's result (1/tau) and the term are normal numbers,
// so that their errors are relative ones.
constexpr double kLowestValue = 0x1p-1000;
constexpr double kHighestValue = 0x1p1000;

// 2^(52 - e) for a sum in [2^e, 2^(e+1)): the sum's last-place unit is its
// inverse. Zero where the sum has no such unit (zero, subnormal, infinite).
// Also zero below 2^-971, where the scale itself would not be a double.
inline double unit_scale(double sum) {
    if (!(sum >= DBL_MIN) || std::isinf(sum)) return 0.0;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &sum, sizeof bits);
    const std::uint64_t exponent = bits >> 52;  // biased: e + 1023
    if (exponent < 52) return 0.0;
    const std::uint64_t scale_bits = (52 + 2046 - exponent) << 52;
    double scale = 0.0;
    std::memcpy(&scale, &scale_bits, sizeof scale);
    return scale;
}

// What the rounding of a term (or of an approximation to it) is known to do.
enum class Verdict {
    kUnits,       // adds `units` units of the sum's last place, no tie
    kUncertain,   // too close to call: the term is computed and added
    kBelowLimit,  // certainly not above the limit: the plain loop stops here
    kSettled,     // s >= 0 and certainly below half a unit: nothing changes any more
};

struct Classified {
    Verdict verdict;
    double units;
};

struct Rules {
    double scale;             // 1 / u of the sum's binade
    double limit;             // L
    double margin;            // relative margin (P3)
    bool never_grow;          // s >= 0: the terms never grow (P5)
    double shortest_stretch;  // anchors are walked stretch by stretch from here
};

// P3 for one value (a computed term or an approximation to one).
inline Classified classify(double value, const Rules& rules) {
    const Classified uncertain{Verdict::kUncertain, 0.0};
    if (!(value >= kLowestValue && value <= kHighestValue) || rules.scale == 0.0) return uncertain;
    if (value * (1.0 + rules.margin) < rules.limit) return {Verdict::kBelowLimit, 0.0};
    if (!(value * (1.0 - rules.margin) > rules.limit)) return uncertain;
    const double y = value * rules.scale;
    if (!(y < kTwo51)) return uncertain;
    // y - q is exact: y and q are within a factor of two, or q is 0.
    const double q = round_to_whole(y);
    if (!(std::fabs(y - q) + rules.margin * y < 0.5)) return uncertain;
    if (q == 0.0 && rules.never_grow) return {Verdict::kSettled, 0.0};
    return {Verdict::kUnits, q};
}

}  // namespace reihen::engine
