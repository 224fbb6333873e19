// The fast sum as the program computes it, and the comparison of sums that
// the tests make: bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "dialogue/summation.h"
#include "monitor.h"

// The sum without report lines, which the fast engine computes.
inline double fast(double s, double limit) {
    reihen::SummationMonitor quiet;
    std::ostringstream out;
    const double sum = reihen::sum_series(s, limit, 0, out, quiet);
    EXPECT_EQ(out.str(), "");
    return sum;
}

// Bit for bit, so that -0.0 and 0.0 are told apart; `rules` names the
// settings of the run (-1 for the program's own).
inline void expect_same(double expected, double actual, double s, double g, int rules) {
    EXPECT_EQ(std::signbit(expected), std::signbit(actual)) << "s=" << s << " G=" << g;
    EXPECT_EQ(expected, actual) << "s=" << s << " G=" << g << " rules " << rules;
}
