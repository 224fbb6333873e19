// Summation of the series 1/1^s + 1/2^s + 1/3^s + ...
#pragma once

#include <iosfwd>

namespace reihen {

// Adds the terms 1.0 / pow(n, s) for n = 1, 2, 3, ... in that order for as
// long as the next term is strictly greater than `limit`, and returns the
// sum. When `report` equals 1, each addition writes the line
// "Zwischensumme: <sum>   Summand: <term>" to `out`.
double sum_series(double s, double limit, int report, std::ostream& out);

}  // namespace reihen
