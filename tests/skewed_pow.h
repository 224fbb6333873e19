// A pow for the tests that errs as much as the exact summation allows pow to
// err: linked into a test program, it takes the place of the platform's pow
// for every caller in it, the engine included.
#pragma once

#include <cstdint>

namespace skewed_pow {

// Which way the results are moved: by a drawn amount either way, always up,
// or always down (REIHEN_POW_SKEW = mixed, above or below; mixed where it is
// not set).
enum class Skew { kMixed, kAbove, kBelow };
Skew skew();

// The most a result is moved, relative to itself: with pow's own error of
// about half a unit and the rounding of the moved result, the error stays
// below 2^-40 of the value, the bound the argument assumes.
constexpr double kMostSkew = 0x1p-40 - 0x1p-50;
// The least a result is moved where it is moved at all.
constexpr double kLeastSkew = kMostSkew / 2;

// The platform's own pow.
double platform_pow(double x, double y);

}  // namespace skewed_pow
