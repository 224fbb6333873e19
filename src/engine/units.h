// The sum's last-place unit, and what the rounding of one term is known to
// do: the ground the exact engine stands on.
//
// Notation: T(n) = 1.0 / pow(n, s) is the computed term (series_term), the
// one the plain loop adds; tau(n) = n^-s is the true value. All that is
// assumed of pow is that it errs by at most 2^-40 of its result (4096 units
// in the last place) where that result is a normal number; with the rounded
// division, |T(n) - tau(n)| <= d tau(n), d = 2^-39.99. Nothing is assumed of
// T being monotone: tau is (strictly, for s != 0), and every argument below
// goes through tau.
//
// 1. Units. While the sum S lies in one binade, S = m u with last-place unit
//    u and 2^52 <= m < 2^53, and adding t gives (m + q) u with q = t/u
//    rounded to nearest, as long as m + q < 2^53 and t/u is not exactly
//    halfway between two whole numbers (a tie, which rounds to even and so
//    depends on m). Such additions are exact whole-number additions of q.
//    A computed term's own q needs no margin: its scaling by the power of
//    two 1/u is exact (compute_put_off).
// 3. Certain units. If v (point 2) lies, after scaling y = v/u, at least
//    e = margin * y inside a rounding interval, |y - q| + e < 1/2, then
//    T(n)/u, which is within (D + d)(1 + 2^-38) y <= 2^-38.9 y of y, rounds
//    to q with no tie: margin 2^-38 covers that 1.87 times. The same margin
//    around the limit L tells that T(n) > L, or that T(n) < L.
// 5. The end. For s >= 0 the terms never grow: once T(n)/u lies certainly
//    below 1/2 (q = 0 by point 3), every later tau(n') <= tau(n), so T(n')/u
//    < 1/2 too: no later term changes the sum, and the run is over.
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
    double margin;            // relative margin (point 2)
    bool never_grow;          // s >= 0: the terms never grow (point 4)
    double shortest_stretch;  // anchors are walked stretch by stretch from here
    bool wide_vectors;        // whether the kernels use AVX2
};

// Point 3 for one value (a computed term or an approximation to one).
inline Classified classify(double value, const Rules& rules) {
    const Classified uncertain{Verdict::kUncertain, 0.0};
    if (!(value >= kLowestValue && value <= kHighestValue) || rules.scale == 0.0) return uncertain;
    if (value * (1.0 + rules.margin) < rules.limit) return {Verdict::kBelowLimit, 0.0};
    if (!(value * (1.0 - rules.margin) > rules.limit)) return uncertain;
    const double y = value * rules.scale;
    if (!(y < kTwo51)) return uncertain;
    // y - q is exact: y and q are within a factor of two, or q is 0.
    const double q = (y + kTwo52) - kTwo52;
    if (!(std::fabs(y - q) + rules.margin * y < 0.5)) return uncertain;
    if (q == 0.0 && rules.never_grow) return {Verdict::kSettled, 0.0};
    return {Verdict::kUnits, q};
}

}  // namespace reihen::engine
