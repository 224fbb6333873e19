// Walking an anchor's indices stretch by stretch, where many indices share
// one whole number of units (P4, P4b). The walk is a kernel body, compiled
// into the scan of a piece for each vector width (block_scan.cpp).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "anchor_units.h"
#include "kernel_context.h"
#include "lanes.h"
#include "slice.h"
#include "term_approximation.h"
#include "units.h"

namespace reihen::engine {

// The last offset from p (which holds) up to `last` whose value lies
// `inside` the interval of q, searched from a guess (which may be anything,
// NaN too). Every offset from p to the one returned adds q (P4), where the
// values are in order.
double stretch_end(const Cubic& y, double inside, double q, double p, double guess, double last);

// P4b for one anchor: E, and the levels it holds for.
struct CrossingBound {
    bool usable;       // whether E is small enough for crossings to be certain often
    double levels;     // the levels h with |h - d0| at most this
    double half_room;  // 1/2 - E, E in offsets
};

// E for the levels h with |R - 1| <= rho, R = h / d0, where the bound
// holds (P4b).
CrossingBound crossing_bound(double a, const Cubic& y, double last, const Binomial& inverse_series,
                             double margin);

// Whether the crossings of the anchor's offsets up to `last` are mostly
// placed by their places alone (P4b); walking them then pays from stretches
// of kShortestPlacedStretch indices on.
inline bool crossings_placed(const KernelContext& context, const Anchor& anchor, const Cubic& y,
                             double last) {
    return crossing_bound(anchor.a, y, last, context.inverse_series, context.rules.margin).usable;
}
constexpr double kShortestPlacedStretch = 2.0;

// What became of a group of sixteen crossings.
enum class Crossings {
    kTaken,     // all of them: the walk goes on with the next sixteen
    kNotTaken,  // none, this way: the next way is tried
    kRestart,   // some, up to a stretch whose end was searched for: the walk
                // starts anew from the next offset
};

// The crossings of a group checked by the values at their two ends (P4):
// crossing j leaves the interval of q_j for that of q_j + direction, and its
// guessed place lies between the offsets e and e + 1.
struct CheckedCrossings {
    Vec q[kGroups];
    Vec e[kGroups];
    Mask e_holds[kGroups];      // e inside the interval of q_j
    Mask after_holds[kGroups];  // e + 1 inside that of the next q
};

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
// r^3. Where the values at both ends are checked, it is a guess only. The
// walk keeps its constants, the offset p it has reached, and its units.
template <Width W>
class AnchorWalk : AnchorUnits<W> {
    using Units = AnchorUnits<W>;
    using Units::context_;
    using Units::make_room;
    using Units::other_units_;
    using Units::put_off_at;
    using Units::take_terms_put_off;
    using Units::totals_;
    using Units::units_now;

public:
    REIHEN_KERNEL_BODY AnchorWalk(Slice& slice, const KernelContext& context, const Anchor& anchor,
                                  const Cubic& y, double inside, double units_before)
        : Units(slice, context, anchor, units_before),
          last_(static_cast<double>(anchor.count) - 1.0),
          y_(y),
          inside_(inside),
          a_(anchor.a),
          direction_(context.s < 0.0 ? 1.0 : -1.0),
          to_ratio_(1.0 / y.d0),
          // P4b's x as a polynomial in r.
          places_1_(a_ * context.inverse_series[1]),
          places_2_(a_ * context.inverse_series[2]),
          places_3_(a_ * context.inverse_series[3]),
          bound_(crossing_bound(a_, y, last_, context.inverse_series, context.rules.margin)) {
        const Vec lanes = {0.0, 1.0, 2.0, 3.0};
        for (std::size_t g = 0; g < kGroups; ++g) {
            level_steps_[g] = direction_ * (static_cast<double>(g * kLanes) + lanes);
        }
    }

    // Walks the anchor, adding its units to `units`.
    REIHEN_KERNEL_BODY void run(double& units) {
        REIHEN_MAY_FUSE
        while (p_ <= last_) {
            const double y_p = y_(p_);
            const double q = round_to_whole(y_p);
            if (!(std::fabs(y_p - q) < inside_)) {
                make_room(1);
                put_off_at(static_cast<std::size_t>(p_), units_now());
                p_ += 1.0;
                continue;
            }
            walk_crossings(q);
        }
        take_terms_put_off();
        units += this->units();
    }

private:
    // From p on, whose value lies inside the interval of q, crossing j
    // leaves the interval of q_j = q + direction j for that of the next q;
    // stretch j runs from the end of stretch j - 1 (or p) to the offset
    // before it. Sixteen crossings at a time, each group by the first way
    // that takes it.
    REIHEN_KERNEL_BODY void walk_crossings(double q) {
        REIHEN_MAY_FUSE
        for (std::size_t j = 0;; j += kGroups * kLanes) {
            const double level = q + direction_ * (static_cast<double>(j) + 0.5);
            Crossings taken = Crossings::kNotTaken;
            if (placed_by_bound(level)) {
                Vec h[kGroups];
                taken = take_placed(level, h);
                if (taken == Crossings::kNotTaken) taken = take_placed_near_whole(h);
            }
            if (taken == Crossings::kNotTaken) {
                CheckedCrossings checked;
                check_by_values(q, j, checked);
                taken = take_checked(checked);
                if (taken == Crossings::kNotTaken) taken = take_lane_by_lane(checked);
            }
            if (taken != Crossings::kTaken) return;
        }
    }

    // Whether the group's levels lie within the reach of P4b's bound. The
    // last suffices: the levels run in order away from d0, the first at
    // most half a unit on its other side, and the reach is 2 at least.
    bool placed_by_bound(double level) const {
        const double last_level = level + level_steps_[kGroups - 1][kLanes - 1];
        return bound_.usable && std::fabs(last_level - y_.d0) <= bound_.levels;
    }

    // The crossings at the levels h from `level` on by their places alone,
    // where each lies more than E from every whole number (P4b).
    REIHEN_KERNEL_BODY Crossings take_placed(double level, Vec (&h)[kGroups]) {
        REIHEN_MAY_FUSE
        Vec e[kGroups];
        Mask certain = {-1, -1, -1, -1};
#pragma GCC unroll 4
        for (std::size_t g = 0; g < kGroups; ++g) {
            h[g] = level + level_steps_[g];
            const Vec r = h[g] * to_ratio_ - 1.0;
            const Vec below = ((places_3_ * r + places_2_) * r + places_1_) * r - 0.5;
            e[g] = round_to_whole_signed(below);
            certain &= magnitude(below - e[g]) < bound_.half_room;
        }
        const double last_end = e[kGroups - 1][kLanes - 1];
        if (!all_lanes(certain) || !(last_end + 1.0 <= last_)) return Crossings::kNotTaken;
        Vec previous;
        shift_in(p_ - 1.0, e[0], previous);
        totals_ += (e[0] - previous) * (h[0] - direction_ * 0.5);
#pragma GCC unroll 3
        for (std::size_t g = 1; g < kGroups; ++g) {
            shift_in(e[g - 1], e[g], previous);
            totals_ += (e[g] - previous) * (h[g] - direction_ * 0.5);
        }
        p_ = last_end + 1.0;
        return Crossings::kTaken;
    }

    // The same where some places lie within E of a whole number c: the
    // stretch before ends at c - 1, c takes its computed term, and the next
    // stretch starts at c + 1 (P4b). Taken where each stretch has no
    // negative length and the last ends within the anchor; the lanes are
    // computed anew, so that each rounding is taken from one value.
    REIHEN_KERNEL_BODY Crossings take_placed_near_whole(const Vec (&h)[kGroups]) {
        REIHEN_MAY_FUSE
        const Vec ones = {1.0, 1.0, 1.0, 1.0};
        Vec ends[kGroups];      // each stretch's last offset
        Vec nexts[kGroups];     // the next one's first
        Vec previous[kGroups];  // each stretch's first
        Mask near[kGroups];     // lanes whose c takes its computed term
        Mask fits = {-1, -1, -1, -1};
        for (std::size_t g = 0; g < kGroups; ++g) {
            const Vec r = h[g] * to_ratio_ - 1.0;
            const Vec below = ((places_3_ * r + places_2_) * r + places_1_) * r - 0.5;
            const Vec down = round_to_whole_signed(below);
            near[g] = ~(magnitude(below - down) < bound_.half_room);
            const Vec whole = round_to_whole_signed(below + 0.5);
            ends[g] = (Vec)(((Mask)(whole - 1.0) & near[g]) | ((Mask)down & ~near[g]));
            nexts[g] = ends[g] + 1.0 + (Vec)((Mask)ones & near[g]);
            if (g == 0) {
                shift_in(p_, nexts[0], previous[0]);
            } else {
                shift_in(nexts[g - 1], nexts[g], previous[g]);
            }
            fits &= ends[g] + 1.0 >= previous[g];
        }
        const double next = nexts[kGroups - 1][kLanes - 1];
        if (!all_lanes(fits) || !(next <= last_)) return Crossings::kNotTaken;
        make_room(kGroups * kLanes);
        // Each c is put off with the units before it: lane k of `upto` holds
        // those of the group's stretches 0 .. k.
        double group_start = units_now();
        for (std::size_t g = 0; g < kGroups; ++g) {
            const Vec stretch_units = (ends[g] - previous[g] + 1.0) * (h[g] - direction_ * 0.5);
            totals_ += stretch_units;
            Vec upto = stretch_units;
            add_up_lanes(upto);
            for (std::size_t lane = 0; lane < kLanes; ++lane) {
                if (near[g][lane] == 0) continue;
                put_off_at(static_cast<std::size_t>(ends[g][lane] + 1.0), group_start + upto[lane]);
            }
            group_start += upto[kLanes - 1];
        }
        p_ = next;
        return Crossings::kTaken;
    }

    // Guesses each crossing's place from the inverse series and checks the
    // values at both sides of it (P4). A guess only: x rounded down,
    // about, whole where it is not negative; a negative one fails the tests
    // of order (e >= p >= 0).
    REIHEN_KERNEL_BODY void check_by_values(double q, std::size_t j, CheckedCrossings& checked) {
        REIHEN_MAY_FUSE
        const Vec lanes = {0.0, 1.0, 2.0, 3.0};
        const Vec ones = {1.0, 1.0, 1.0, 1.0};
        const Binomial& inverse_series = context_.inverse_series;
        const Cubic& y = y_;
#pragma GCC unroll 4
        for (std::size_t g = 0; g < kGroups; ++g) {
            checked.q[g] = q + direction_ * (static_cast<double>(j + g * kLanes) + lanes);
            const Vec q_next = checked.q[g] + direction_;
            const Vec r = (checked.q[g] + direction_ * 0.5) * to_ratio_ - 1.0;
            const Vec x =
                a_ * (r * ((inverse_series[3] * r + inverse_series[2]) * r + inverse_series[1]));
            const Vec e = round_to_whole(x - 0.5);
            checked.e[g] = e;
            const Vec after = e + ones;
            const Vec off_e = magnitude(y(e) - checked.q[g]);
            const Vec off_after = magnitude(y(after) - q_next);
            checked.e_holds[g] = off_e < inside_;
            checked.after_holds[g] = off_after < inside_;
        }
    }

    // Where every checked crossing holds and the ends follow each other, all
    // are added at once: lane j adds e_j - e_(j-1) offsets of q_j.
    REIHEN_KERNEL_BODY Crossings take_checked(const CheckedCrossings& checked) {
        REIHEN_MAY_FUSE
        const Vec ones = {1.0, 1.0, 1.0, 1.0};
        Vec previous[kGroups];
        shift_in(p_ - 1.0, checked.e[0], previous[0]);
        Mask all =
            checked.e_holds[0] & checked.after_holds[0] & (checked.e[0] - previous[0] >= ones);
#pragma GCC unroll 3
        for (std::size_t g = 1; g < kGroups; ++g) {
            shift_in(checked.e[g - 1], checked.e[g], previous[g]);
            all &=
                checked.e_holds[g] & checked.after_holds[g] & (checked.e[g] - previous[g] >= ones);
        }
        const double last_end = checked.e[kGroups - 1][kLanes - 1];
        if (!all_lanes(all) || !(last_end + 1.0 <= last_)) return Crossings::kNotTaken;
#pragma GCC unroll 4
        for (std::size_t g = 0; g < kGroups; ++g) {
            totals_ += (checked.e[g] - previous[g]) * checked.q[g];
        }
        p_ = last_end + 1.0;
        return Crossings::kTaken;
    }

    // The checked crossings lane by lane, up to the first that fails.
    REIHEN_KERNEL_BODY Crossings take_lane_by_lane(const CheckedCrossings& checked) {
        REIHEN_MAY_FUSE
        for (std::size_t g = 0; g < kGroups; ++g) {
            for (std::size_t lane = 0; lane < kLanes; ++lane) {
                const Crossings taken =
                    take_one(checked.q[g][lane], checked.e[g][lane], checked.e_holds[g][lane] != 0,
                             checked.after_holds[g][lane] != 0);
                if (taken != Crossings::kTaken) return taken;
            }
        }
        return Crossings::kTaken;
    }

    // One checked crossing from stretch q_j, guessed between e and e + 1.
    // Most often where it fails, one offset c next to it is too close to
    // call: where c - 1 lies inside the interval of q_j and c + 1 inside the
    // next, c takes its computed term and the walk goes on. Of the two, one
    // was checked already: e = c - 1, or e + 1 = c + 1. Else the stretch's
    // end is searched for: the anchor's end, or a guess far off.
    REIHEN_KERNEL_BODY Crossings take_one(double q_j, double end, bool e_inside,
                                          bool after_inside) {
        REIHEN_MAY_FUSE
        if (e_inside && after_inside && end >= p_ && end + 1.0 <= last_) {
            other_units_ += (end - p_ + 1.0) * q_j;
            p_ = end + 1.0;
            return Crossings::kTaken;
        }
        const auto holds = [&](double i, double units_of) {
            return std::fabs(y_(i) - units_of) < inside_;
        };
        const double c = e_inside ? end + 1.0 : end;
        if (end >= p_ && c > p_ && c + 1.0 <= last_ &&
            (e_inside ? holds(c + 1.0, q_j + direction_) : after_inside && holds(c - 1.0, q_j))) {
            other_units_ += (c - p_) * q_j;
            make_room(1);
            put_off_at(static_cast<std::size_t>(c), units_now());
            p_ = c + 1.0;
            return Crossings::kTaken;
        }
        const double found = stretch_end(y_, inside_, q_j, p_, end, last_);
        other_units_ += (found - p_ + 1.0) * q_j;
        p_ = found + 1.0;
        return Crossings::kRestart;
    }

    Vec level_steps_[kGroups];  // from a group's first level to each of its levels
    const double last_;
    const Cubic& y_;
    const double inside_;
    const double a_;
    const double direction_;  // whether y grows (1) or falls (-1)
    const double to_ratio_;
    const double places_1_;
    const double places_2_;
    const double places_3_;
    double p_ = 0.0;
    const CrossingBound bound_;
};

}  // namespace reihen::engine
