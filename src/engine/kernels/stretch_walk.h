// Walking an anchor's indices stretch by stretch, where many indices share
// one whole number of units (P4, P4b).
#pragma once

#include <cstddef>

#include "slice.h"
#include "term_approximation.h"
#include "units.h"

namespace reihen::engine {

// Walks the offsets of one anchor stretch by stretch, where stretches hold
// many indices: from an offset p whose value lies `inside` the interval of
// q, the value crosses the bounds q + 1/2, q + 3/2, ... (or q - 1/2, ...
// where it falls) at offsets predicted from the continuous function.
// Around a crossing, the offset e before it must lie inside the interval
// of the stretch that ends there, and e + 1 inside that of the next (P4).
// Crossings are predicted and checked sixteen at a time, by their places
// alone where the bound on those is small (P4b), else by the values at
// both ends; where one fails, an offset next to it that is too close to
// call takes its computed term, or else its stretch's end is searched for
// (stretch_end).
//
// The prediction inverts y(i) = d0 (1 + i/a)^-s: with r = h/d0 - 1, the
// offset where y reaches h is a ((1 + r)^(-1/s) - 1), here its series to
// r^3. Where the values at both ends are checked, it is a guess only.
void walk_anchor(Slice& slice, std::size_t first, std::size_t count, const Cubic& y, double inside,
                 const Binomial& inverse_series, double s, const Rules& rules, double& units);

// The last offset from p (which holds) up to `last` whose value lies
// `inside` the interval of q, searched from a guess (which may be anything,
// NaN too). Every offset from p to the one returned adds q (P4), where the
// values are in order.
double stretch_end(const Cubic& y, double inside, double q, double p, double guess, double last);

// Whether the crossings of the anchor at a, with offsets up to `last`, are
// mostly placed by their places alone (P4b); walking them then pays from stretches of
// kShortestPlacedStretch indices on.
bool crossings_placed(double a, const Cubic& y, double last, const Binomial& inverse_series,
                      const Rules& rules);
constexpr double kShortestPlacedStretch = 2.0;

}  // namespace reihen::engine
