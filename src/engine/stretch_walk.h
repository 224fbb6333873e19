// Walking an anchor's indices stretch by stretch, where many indices share
// one whole number of units.
//
// 4. Stretches. If the values of a and b, a < b, both lie e = margin *
//    max(y_a, y_b) inside the interval of q, then tau(a)/u and tau(b)/u lie
//    e - D y inside it; tau(n) for a < n < b lies between them (tau is
//    monotone), and T(n)/u within d tau(n)/u of tau(n)/u. As e exceeds
//    (D + d)(1 + 2^-38) max(y) <= 2^-38.9 max(y) 1.87 times, every term from
//    a to b adds q units: the stretch adds (b - a + 1) q units, and only its
//    ends are looked at. Likewise for the limit. Where stretches hold a
//    few indices or more, each thread walks its share stretch by stretch
//    (walk_anchor); where an anchor holds only a few stretches, they are
//    taken one after another (Summation::stretch_step).
// 4b. Crossings alone. Let h = q +- 1/2 be the level where the values leave
//    the interval of q for that of the next q. Every index before the
//    places where tau(a + i) (1 +- d) / u = h rounds to one side of h, with
//    no tie, and every index after them to the other. With d0, y's value at
//    offset 0, within D of tau(a)/u, these places are
//    a ((R (1 + eps))^alpha - 1) for some |eps| <= (D + d)/(1 - d), below
//    the margin, with R = h / d0 and alpha = -1/s. If a computed x lies
//    within E of all of them (crossing_bound), and more than E from every
//    whole number, then all of them lie between e = floor(x) and e + 1: the
//    stretch of q ends at e, the next one starts at e + 1, and no value is
//    looked at. If x lies within E of a whole number c instead, all of
//    them lie between c - 1 and c + 1 (2E < 1): the stretch of q ends at
//    c - 1, c takes its computed term, and the next stretch starts at
//    c + 1. The levels' places are in order, so that the ends are too, and
//    the first stretch starts at an offset whose value lies inside the
//    interval of its q, before the first level.
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
// of the stretch that ends there, and e + 1 inside that of the next. With
// the start of each stretch checked by the crossing before it, every
// stretch has both ends inside the interval of its q, and so adds (length)
// q units (point 4); each end lies beyond the one before, which is checked
// too. The stretches come out in order, as tau is monotone and each checked
// value lies within its interval with tau. Crossings are predicted and
// checked sixteen at a time, by their places alone where the bound on
// those is small (point 4b), else by the values at both ends; where one
// fails, an offset next to it that is too close to call takes its computed
// term, or else its stretch's end is searched for (stretch_end).
//
// The prediction inverts y(i) = d0 (1 + i/a)^-s: with r = h/d0 - 1, the
// offset where y reaches h is a ((1 + r)^(-1/s) - 1), here its series to
// r^3. Where the values at both ends are checked, it is a guess only.
bool walk_anchor(Slice& slice, std::size_t first, std::size_t count, const Cubic& y, double inside,
                 const Binomial& inverse_series, double s, const Rules& rules, double& units);

// Whether the crossings of the anchor at a, with offsets up to `last`, are
// mostly placed by point 4b; walking them then pays from stretches of
// kShortestPlacedStretch indices on.
bool crossings_placed(double a, const Cubic& y, double last, const Binomial& inverse_series,
                      const Rules& rules);
constexpr double kShortestPlacedStretch = 2.0;

}  // namespace reihen::engine
