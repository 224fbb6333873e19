// Summation of the series 1/1^s + 1/2^s + 1/3^s + ...
#pragma once

#include <iosfwd>

#include "plain_summation.h"

namespace reihen {

// The sum of the plain loop, bit for bit. With report lines (`report` equal
// to 1) every step is taken and shown; without them the fast engine computes
// the same sum and ends every run. Either ends early, with the
// sum reached so far, when the monitor asks for it.
double sum_series(double s, double limit, int report, std::ostream& out, SummationMonitor& monitor);

}  // namespace reihen
