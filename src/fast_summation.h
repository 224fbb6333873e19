// The series sum without report lines: bit for bit the result of the plain
// loop, or the value that loop would keep for ever, reached without adding
// every term.
#pragma once

#include "plain_summation.h"

namespace reihen {

struct FastSummationSettings {
    // How far, relative to its size, a term must lie from every place where
    // its rounding could go either way before its rounding is taken as known.
    // It must cover the error of pow (a few thousand units in the last place)
    // several times over; tests widen it to make the careful paths common.
    double margin = 0x1p-37;
    // Whole stretches of equal terms are looked for only where a stretch is
    // expected to hold at least this many terms; tests set it to 1.
    double shortest_stretch = 64.0;
};

double sum_series_fast(double s, double limit, SummationMonitor& monitor,
                       const FastSummationSettings& settings = {});

// What adding `term` to the normal number `sum` `times` times (infinity: for
// ever) one by one gives, in closed form: the sum the plain loop keeps once
// its index no longer grows.
double add_repeatedly(double sum, double term, double times);

}  // namespace reihen
