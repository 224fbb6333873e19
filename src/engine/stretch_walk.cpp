#include "stretch_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "lanes.h"

namespace reihen::engine {
namespace {

// The last offset from p (which holds) up to `last` whose value lies
// `inside` the interval of q, searched from a guess: forward from it by
// doubling steps while it holds, back from it while it does not, then by
// bisection. By point 4 every offset from p to the one returned adds q.
double stretch_end(const Cubic& y, double inside, double q, double p, double guess, double last) {
    const auto holds = [&](double i) { return std::fabs(y(i) - q) < inside; };
    double good = p;
    double bad = last + 1.0;  // the first offset known not to hold, or past the end
    const double start = guess >= p ? std::min(guess, last) : p;  // also where it is NaN
    if (holds(start)) {
        good = start;
        double step = 1.0;
        while (good < last) {
            const double next = std::min(good + step, last);
            if (!holds(next)) {
                bad = next;
                break;
            }
            good = next;
            step *= 2.0;
        }
    } else {
        bad = start;
        double step = 1.0;
        while (bad - step > good) {
            const double next = bad - step;
            if (holds(next)) {
                good = next;
                break;
            }
            bad = next;
            step *= 2.0;
        }
    }
    while (bad - good > 1.0) {
        const double middle = std::floor(good + (bad - good) / 2.0);
        (holds(middle) ? good : bad) = middle;
    }
    return good;
}

// Added and taken away again, it rounds a value below 2^51 in size to a
// whole number, negative ones too.
constexpr double kRoundingShift = 0x1.8p52;

// Point 4b for one anchor: E, and the levels it holds for.
struct CrossingBound {
    bool usable;       // whether E is small enough for crossings to be certain often
    double levels;     // the levels h with |h - d0| at most this
    double half_room;  // 1/2 - E, E in offsets
};

// E for the levels h with |R - 1| <= rho, R = h / d0. Point 4b's places are
// a ((R (1 + eps))^alpha - 1); the walk's x is the series of a (R^alpha - 1)
// cut after r^3, r = R - 1. Where (|alpha| + 4) rho <= 2^-8 and
// |alpha| margin <= 2^-20, x lies from each place within the sum of:
// - a R^alpha |(1 + eps)^alpha - 1| <= 1.02 a |alpha| margin;
// - the series' rest from r^4 on, its terms falling by (|alpha| + 4) rho at
//   least: 1.004 a |C(alpha, 4)| rho^4, with |C(alpha, 4)| at most
//   b4 = |alpha| (|alpha| + 1) (|alpha| + 2) (|alpha| + 3) / 24;
// - r's rounding (fl(1 / d0) and the product: 2^-51 at most, the
//   subtraction of 1 exact), times the series' slope, at most 1.01 |alpha|;
// - Horner's scheme and the coefficients' rounding, a taken into them:
//   2^-49 of x, which is at most 1.01 a |alpha| rho, and 2^-54 where 1/2 is
//   taken from x within its last step.
// With the margin above 2^-38.9 (point 3), the last two are below 2^-11 of
// the first but for the 2^-54, so that
// E = 1.125 a (|alpha| margin + b4 rho^4) + 2^-53 covers all, with room for
// E's own rounding.
CrossingBound crossing_bound(double a, const Cubic& y, double last, const Binomial& inverse,
                             double margin) {
    const double alpha = std::fabs(inverse[1]);
    // The levels of the anchor's crossings lie within |y(last) - d0| + 1/2
    // of d0, and within this with y's own error.
    const double levels = std::fabs(y(last) - y.d0) + 2.0;
    const double rho = levels / y.d0 * (1.0 + 0x1p-20) + 0x1p-51;
    const double b4 = alpha * (alpha + 1.0) * (alpha + 2.0) * (alpha + 3.0) / 24.0;
    const double places = 1.125 * a * (alpha * margin + b4 * (rho * rho) * (rho * rho)) + 0x1p-53;
    const bool usable =
        (alpha + 4.0) * rho <= 0x1p-8 && alpha * margin <= 0x1p-20 && places <= 0x1p-6;
    return {usable, levels, 0.5 - places};
}

REIHEN_KERNEL_BODY bool walk(Slice& slice, std::size_t first, std::size_t count, const Cubic& y,
                             double inside, const Binomial& inverse, double s, const Rules& rules,
                             double& units) {
    REIHEN_MAY_FUSE
    const double a = slice.n0 + static_cast<double>(first);
    const double last = static_cast<double>(count) - 1.0;
    const double direction = s < 0.0 ? 1.0 : -1.0;  // whether y grows or falls
    const double to_ratio = 1.0 / y.d0;
    const Vec lanes = {0.0, 1.0, 2.0, 3.0};
    const Vec zero = {0.0, 0.0, 0.0, 0.0};
    const Vec ones = {1.0, 1.0, 1.0, 1.0};
    const Mask magnitude = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};
    // The units so far, in four totals of whole numbers that are only ever
    // added to, so that they stay exact while the sum stays in its binade.
    Vec totals = {0.0, 0.0, 0.0, 0.0};
    double other_units = 0.0;  // those added lane by lane
    const auto units_now = [&] { return units + lane_sum(totals) + other_units; };
    const CrossingBound bound = crossing_bound(a, y, last, inverse, rules.margin);
    // Point 4b's x as a polynomial in r, and the steps from one level to the
    // next sixteen.
    const double places_1 = a * inverse[1];
    const double places_2 = a * inverse[2];
    const double places_3 = a * inverse[3];
    constexpr std::size_t kGroups = 4;
    Vec level_steps[kGroups];
    for (std::size_t g = 0; g < kGroups; ++g) {
        level_steps[g] = direction * (static_cast<double>(g * kLanes) + lanes);
    }
    double p = 0.0;
    while (p <= last) {
        const double y_p = y(p);
        const double q = (y_p + kTwo52) - kTwo52;
        if (!(std::fabs(y_p - q) < inside)) {
            if (!has_room(slice, 1) && !take_put_off(slice, s, rules, other_units)) return false;
            put_off(slice, first + static_cast<std::size_t>(p), units_now());
            p += 1.0;
            continue;
        }
        // From p on, crossing j leaves the interval of q_j = q + direction j
        // for that of q_next = q_j + direction. Its guessed place is between
        // the offsets e and e + 1; e must lie inside the interval of q_j and
        // e + 1 inside that of q_next, and then stretch j runs from the end
        // of stretch j - 1 (or p) to e. Four groups of four crossings at a
        // time, so that their computations, which do not depend on each
        // other, overlap.
        for (std::size_t j = 0;; j += kGroups * kLanes) {
            // First by the crossings' places alone (point 4b), each
            // level checked to lie within the bound's reach (the first and
            // last suffice, the levels being in order).
            const double level = q + direction * (static_cast<double>(j) + 0.5);
            if (bound.usable && std::fabs(level - y.d0) <= bound.levels &&
                std::fabs(level + level_steps[kGroups - 1][kLanes - 1] - y.d0) <= bound.levels) {
                Vec h[kGroups];
                Vec e[kGroups];
                Mask certain = {-1, -1, -1, -1};
#pragma GCC unroll 4
                for (std::size_t g = 0; g < kGroups; ++g) {
                    h[g] = level + level_steps[g];
                    const Vec r = h[g] * to_ratio - 1.0;
                    // x - 1/2, rounded to a whole number: x rounded down,
                    // where x lies more than E from a whole number (the
                    // others are taken below). The shift of 1.5 * 2^52
                    // rounds negative values too.
                    const Vec below = ((places_3 * r + places_2) * r + places_1) * r - 0.5;
                    e[g] = (below + kRoundingShift) - kRoundingShift;
                    certain &= (Vec)((Mask)(below - e[g]) & magnitude) < bound.half_room;
                }
                certain &= __builtin_shufflevector(certain, certain, 2, 3, 0, 1);
                certain &= __builtin_shufflevector(certain, certain, 1, 0, 3, 2);
                const double last_end = e[kGroups - 1][kLanes - 1];
                if (certain[0] != 0 && last_end + 1.0 <= last) {
                    const Vec start = {p - 1.0, 0.0, 0.0, 0.0};
                    Vec previous = __builtin_shufflevector(start, e[0], 0, 4, 5, 6);
                    totals += (e[0] - previous) * (h[0] - direction * 0.5);
#pragma GCC unroll 3
                    for (std::size_t g = 1; g < kGroups; ++g) {
                        previous = __builtin_shufflevector(e[g - 1], e[g], 3, 4, 5, 6);
                        totals += (e[g] - previous) * (h[g] - direction * 0.5);
                    }
                    p = last_end + 1.0;
                    continue;
                }
                // Where a place lies within E of a whole number c instead,
                // its stretch ends at c - 1, c takes its computed term, and
                // the next stretch starts at c + 1 (point 4b). The group is
                // taken so where each stretch has no negative length and
                // the last ends within the anchor; the lanes are computed
                // anew, so that each rounding is taken from one value.
                Vec ends[kGroups];      // each stretch's last offset
                Vec nexts[kGroups];     // the next one's first
                Vec previous[kGroups];  // each stretch's first
                Mask near[kGroups];     // lanes whose c takes its computed term
                Mask fits = {-1, -1, -1, -1};
                const Vec start = {p, 0.0, 0.0, 0.0};
                for (std::size_t g = 0; g < kGroups; ++g) {
                    const Vec r = h[g] * to_ratio - 1.0;
                    const Vec below = ((places_3 * r + places_2) * r + places_1) * r - 0.5;
                    const Vec down = (below + kRoundingShift) - kRoundingShift;
                    near[g] = ~((Vec)((Mask)(below - down) & magnitude) < bound.half_room);
                    const Vec whole = (below + 0.5 + kRoundingShift) - kRoundingShift;
                    ends[g] = (Vec)(((Mask)(whole - 1.0) & near[g]) | ((Mask)down & ~near[g]));
                    nexts[g] = ends[g] + 1.0 + (Vec)((Mask)ones & near[g]);
                    previous[g] = g == 0
                                      ? __builtin_shufflevector(start, nexts[0], 0, 4, 5, 6)
                                      : __builtin_shufflevector(nexts[g - 1], nexts[g], 3, 4, 5, 6);
                    fits &= ends[g] + 1.0 >= previous[g];
                }
                fits &= __builtin_shufflevector(fits, fits, 2, 3, 0, 1);
                fits &= __builtin_shufflevector(fits, fits, 1, 0, 3, 2);
                const double next = nexts[kGroups - 1][kLanes - 1];
                if (fits[0] != 0 && next <= last) {
                    if (!has_room(slice, kGroups * kLanes) &&
                        !take_put_off(slice, s, rules, other_units)) {
                        return false;
                    }
                    // Each c is put off with the units before it: lane k of
                    // `upto` holds those of the group's stretches 0 .. k.
                    double group_start = units_now();
                    for (std::size_t g = 0; g < kGroups; ++g) {
                        const Vec stretch_units =
                            (ends[g] - previous[g] + 1.0) * (h[g] - direction * 0.5);
                        totals += stretch_units;
                        Vec upto = stretch_units +
                                   __builtin_shufflevector(stretch_units, zero, 4, 0, 1, 2);
                        upto += __builtin_shufflevector(upto, zero, 4, 5, 0, 1);
                        for (std::size_t lane = 0; lane < kLanes; ++lane) {
                            if (near[g][lane] == 0) continue;
                            const auto position =
                                first + static_cast<std::size_t>(ends[g][lane] + 1.0);
                            put_off(slice, position, group_start + upto[lane]);
                        }
                        group_start += upto[kLanes - 1];
                    }
                    p = next;
                    continue;
                }
            }
            // Else by the values at both ends of each stretch (point 4).
            Vec q_j[kGroups];
            Vec e[kGroups];
            Mask e_holds[kGroups];      // e inside the interval of q_j
            Mask after_holds[kGroups];  // e + 1 inside that of q_next
#pragma GCC unroll 4
            for (std::size_t g = 0; g < kGroups; ++g) {
                q_j[g] = q + direction * (static_cast<double>(j + g * kLanes) + lanes);
                const Vec q_next = q_j[g] + direction;
                const Vec r = (q_j[g] + direction * 0.5) * to_ratio - 1.0;
                const Vec x = a * (r * ((inverse[3] * r + inverse[2]) * r + inverse[1]));
                // A guess only, as both its sides are checked: x rounded
                // down, about. It is whole where it is not negative; a
                // negative one fails the tests of order (e >= p >= 0).
                e[g] = (x - 0.5 + kTwo52) - kTwo52;
                const Vec after = e[g] + ones;
                const Vec y_e = ((y.d3 * e[g] + y.d2) * e[g] + y.d1) * e[g] + y.d0;
                const Vec y_after = ((y.d3 * after + y.d2) * after + y.d1) * after + y.d0;
                const Vec off_e = (Vec)((Mask)(y_e - q_j[g]) & magnitude);
                const Vec off_after = (Vec)((Mask)(y_after - q_next) & magnitude);
                e_holds[g] = off_e < inside;
                after_holds[g] = off_after < inside;
            }
            // Where all hold and the ends follow each other, they are added
            // at once: lane j adds e_j - e_(j-1) offsets of q_j.
            const Vec start = {p - 1.0, 0.0, 0.0, 0.0};
            Vec previous[kGroups];
            previous[0] = __builtin_shufflevector(start, e[0], 0, 4, 5, 6);
            Mask all = e_holds[0] & after_holds[0] & (e[0] - previous[0] >= ones);
#pragma GCC unroll 4
            for (std::size_t g = 1; g < kGroups; ++g) {
                previous[g] = __builtin_shufflevector(e[g - 1], e[g], 3, 4, 5, 6);
                all &= e_holds[g] & after_holds[g] & (e[g] - previous[g] >= ones);
            }
            all &= __builtin_shufflevector(all, all, 2, 3, 0, 1);
            all &= __builtin_shufflevector(all, all, 1, 0, 3, 2);
            const double last_end = e[kGroups - 1][kLanes - 1];
            if (all[0] != 0 && last_end + 1.0 <= last) {
#pragma GCC unroll 4
                for (std::size_t g = 0; g < kGroups; ++g) totals += (e[g] - previous[g]) * q_j[g];
                p = last_end + 1.0;
                continue;
            }
            // Lane by lane, up to the first that fails.
            bool failed = false;
            for (std::size_t g = 0; g < kGroups && !failed; ++g) {
                for (std::size_t lane = 0; lane < kLanes; ++lane) {
                    const double end = e[g][lane];
                    const double q_lane = q_j[g][lane];
                    const bool e_inside = e_holds[g][lane] != 0;
                    const bool after_inside = after_holds[g][lane] != 0;
                    if (e_inside && after_inside && end >= p && end + 1.0 <= last) {
                        other_units += (end - p + 1.0) * q_lane;
                        p = end + 1.0;
                        continue;
                    }
                    // Most often one offset c next to the crossing is too
                    // close to call: where c - 1 lies inside the interval of
                    // q_lane and c + 1 inside the next, c takes its computed
                    // term and the walk goes on. Of the two, one was checked
                    // already: e = c - 1, or e + 1 = c + 1.
                    const auto holds = [&](double i, double units_of) {
                        return std::fabs(y(i) - units_of) < inside;
                    };
                    const double c = e_inside ? end + 1.0 : end;
                    if (end >= p && c > p && c + 1.0 <= last &&
                        (e_inside ? holds(c + 1.0, q_lane + direction)
                                  : after_inside && holds(c - 1.0, q_lane))) {
                        other_units += (c - p) * q_lane;
                        const auto position = first + static_cast<std::size_t>(c);
                        if (!has_room(slice, 1) && !take_put_off(slice, s, rules, other_units)) {
                            return false;
                        }
                        put_off(slice, position, units_now());
                        p = c + 1.0;
                        continue;
                    }
                    // Else the anchor's end, or a guess far off.
                    const double found = stretch_end(y, inside, q_lane, p, end, last);
                    other_units += (found - p + 1.0) * q_lane;
                    p = found + 1.0;
                    failed = true;
                    break;
                }
            }
            if (failed) break;
        }
    }
    if (!take_put_off(slice, s, rules, other_units)) return false;
    units += lane_sum(totals) + other_units;
    return true;
}

REIHEN_WIDE_VECTORS bool walk_wide(Slice& slice, std::size_t first, std::size_t count,
                                   const Cubic& y, double inside, const Binomial& inverse, double s,
                                   const Rules& rules, double& units) {
    return walk(slice, first, count, y, inside, inverse, s, rules, units);
}

bool walk_baseline(Slice& slice, std::size_t first, std::size_t count, const Cubic& y,
                   double inside, const Binomial& inverse, double s, const Rules& rules,
                   double& units) {
    return walk(slice, first, count, y, inside, inverse, s, rules, units);
}

}  // namespace

bool crossings_placed(double a, const Cubic& y, double last, const Binomial& inverse,
                      const Rules& rules) {
    return crossing_bound(a, y, last, inverse, rules.margin).usable;
}

bool walk_anchor(Slice& slice, std::size_t first, std::size_t count, const Cubic& y, double inside,
                 const Binomial& inverse, double s, const Rules& rules, double& units) {
    return rules.wide_vectors
               ? walk_wide(slice, first, count, y, inside, inverse, s, rules, units)
               : walk_baseline(slice, first, count, y, inside, inverse, s, rules, units);
}

}  // namespace reihen::engine
