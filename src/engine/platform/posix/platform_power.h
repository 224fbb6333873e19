// The C library's pow.
#pragma once

#include <cmath>

namespace reihen {

inline double power(double x, double y) { return std::pow(x, y); }

}  // namespace reihen
