// A piece of a block on one thread: its indices classified into certain
// units and terms to be added in order.
#pragma once

#include "slice.h"
#include "term_approximation.h"
#include "units.h"

namespace reihen::engine {

// Classifies the slice's indices into certain units and uncertain terms under
// one binade's rules, the units added up exactly (P1).
void scan_slice(Slice& slice, double s, const Binomial& c, const Binomial& inverse_series,
                const Rules& rules);

}  // namespace reihen::engine
