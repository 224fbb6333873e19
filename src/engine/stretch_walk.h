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
// checked sixteen at a time; where one fails, an offset next to it that is
// too close to call takes its computed term, or else its stretch's end is
// searched for (stretch_end).
//
// The prediction inverts y(i) = d0 (1 + i/a)^-s: with r = h/d0 - 1, the
// offset where y reaches h is a ((1 + r)^(-1/s) - 1), here its series to
// r^3. It is a guess only: every end is checked.
bool walk_anchor(Slice& slice, std::size_t first, std::size_t count, const Cubic& y, double inside,
                 const Binomial& inverse, double s, const Rules& rules, double& units);

}  // namespace reihen::engine
