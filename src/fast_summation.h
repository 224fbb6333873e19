// The series sum without report lines: bit for bit the result of the plain
// loop, computed on all cores and ended as soon as nothing more can change.
#pragma once

#include <cstddef>

#include "summation.h"

namespace reihen {

double sum_series_fast(double s, double limit, SummationMonitor& monitor);

// Returns what adding terms[0], terms[1], ... to `sum` one by one in double
// arithmetic gives. While the sum stays within one binade, the additions are
// done exactly in units of the sum's last place.
double add_in_order(double sum, const double* terms, std::size_t count);

}  // namespace reihen
