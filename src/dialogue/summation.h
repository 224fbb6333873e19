// Summation of the series 1/1^s + 1/2^s + 1/3^s + ... as the dialogue asks
// for it: with report lines, or by the fast engine on every usable core.
#pragma once

#include <iosfwd>

#include "monitor.h"

namespace reihen {

// The sum of the plain loop, bit for bit. With report lines (`report` equal
// to 1) every step is taken and shown as the line
// "Zwischensumme: <sum>   Summand: <term>" on `out`; without them the fast
// engine computes the same sum and ends every run. Either ends early, with
// the sum reached so far, when the monitor asks for it; the report lines
// also once the sum is infinite, as nothing can change it from there.
double sum_series(double s, double limit, int report, std::ostream& out, SummationMonitor& monitor);

}  // namespace reihen
