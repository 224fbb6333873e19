// Approximations to the terms near an anchor whose term was computed, with
// a proven error bound (P2).
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "lanes.h"
#include "units.h"

namespace reihen::engine {

// The coefficients of (1 + x)^-s = sum c_j x^j, j = 0 to 3.
using Binomial = std::array<double, 4>;

inline Binomial binomial_coefficients(double s) {
    Binomial c{};
    c[0] = 1.0;
    for (std::size_t j = 0; j + 1 < c.size(); ++j) {
        const double k = static_cast<double>(j);
        c[j + 1] = c[j] * ((-s - k) / (k + 1.0));
    }
    return c;
}

// How many indices a, a + 1, ... one anchor a serves: i/a (|s| + 3) <= 2^-12
// (up to a rounding of the bound, which the error budget absorbs).
inline double anchor_reach(double a, double s) {
    return std::floor(a * 0x1p-12 / (std::fabs(s) + 3.0)) + 1.0;
}

// An anchor that serves fewer indices than this is not worth its pow call.
constexpr double kShortestReach = 8.0;

// The series below for one index a + i of an anchor's reach; `reciprocal` is
// 1.0 / a.
inline double approximate_one(double anchor_term, double reciprocal, const Binomial& c, double i) {
    const double x = i * reciprocal;
    return anchor_term * (((c[3] * x + c[2]) * x + c[1]) * x + 1.0);
}

// The anchors in a row whose values are derived from the one before
// (P2); then one is computed again.
constexpr int kMostDerivedAnchors = 15;

// The value of anchor a + i, i at most the reach of a less one, from the
// anchor a; 0.0 where it is not a normal number in range, and so none.
inline double derived_anchor(double anchor_term, double a, const Binomial& c, std::size_t i) {
    const double value = approximate_one(anchor_term, 1.0 / a, c, static_cast<double>(i));
    return value >= kLowestValue && value <= kHighestValue ? value : 0.0;
}

// The scaled approximations of one anchor's indices as a cubic in the
// index offset i (scan_anchor).
struct Cubic {
    double d0;  // the scaled anchor term
    double d1;
    double d2;
    double d3;

    // At an offset or at a vector of them, by Horner's scheme, fused in
    // the wide kernels (P8).
    template <class V>
    [[gnu::always_inline]] V operator()(const V& i) const {
        REIHEN_MAY_FUSE
        return ((d3 * i + d2) * i + d1) * i + d0;
    }
};

}  // namespace reihen::engine
