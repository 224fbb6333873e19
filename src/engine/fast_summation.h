// The series sum without report lines: bit for bit the result of the plain
// loop, or the value that loop would keep for ever, reached without adding
// every term.
#pragma once

#include "monitor.h"
#include "settings.h"

namespace reihen {

// Where `statistics` is given, it receives what the run did.
double sum_series_fast(double s, double limit, SummationMonitor& monitor,
                       const FastSummationSettings& settings = {},
                       RunStatistics* statistics = nullptr);

}  // namespace reihen
