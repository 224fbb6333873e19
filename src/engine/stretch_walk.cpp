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

REIHEN_KERNEL_BODY bool walk(Slice& slice, std::size_t first, std::size_t count, const Cubic& y,
                             double inside, const Binomial& inverse, double s, const Rules& rules,
                             double& units) {
    const double a = slice.n0 + static_cast<double>(first);
    const double last = static_cast<double>(count) - 1.0;
    const double direction = s < 0.0 ? 1.0 : -1.0;  // whether y grows or falls
    const double to_ratio = 1.0 / y.d0;
    const Vec lanes = {0.0, 1.0, 2.0, 3.0};
    const Vec ones = {1.0, 1.0, 1.0, 1.0};
    const Mask magnitude = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};
    // The units so far, in four totals of whole numbers that are only ever
    // added to, so that they stay exact while the sum stays in its binade.
    Vec totals = {0.0, 0.0, 0.0, 0.0};
    double other_units = 0.0;  // those added lane by lane
    const auto units_now = [&] { return units + lane_sum(totals) + other_units; };
    double p = 0.0;
    while (p <= last) {
        const double y_p = y(p);
        const double q = (y_p + kTwo52) - kTwo52;
        if (!(std::fabs(y_p - q) < inside)) {
            double own = 0.0;
            if (!take_term(slice, first + static_cast<std::size_t>(p), s, rules, units_now(),
                           own)) {
                return false;
            }
            other_units += own;
            p += 1.0;
            continue;
        }
        // From p on, crossing j leaves the interval of q + direction j. Two
        // groups of four crossings at a time, so that their computations,
        // which do not depend on each other, overlap.
        constexpr std::size_t kGroups = 2;
        for (std::size_t j = 0;; j += kGroups * kLanes) {
            Vec q_j[kGroups];
            Vec q_next[kGroups];
            Vec b[kGroups];
            Mask checked[kGroups];
            Mask low[kGroups];
            Mask high[kGroups];
#pragma GCC unroll 2
            for (std::size_t g = 0; g < kGroups; ++g) {
                q_j[g] = q + direction * (static_cast<double>(j + g * kLanes) + lanes);
                q_next[g] = q_j[g] + direction;
                const Vec r = (q_j[g] + direction * 0.5) * to_ratio - 1.0;
                const Vec x = a * (r * ((inverse[3] * r + inverse[2]) * r + inverse[1]));
                const Vec middle = (x + kTwo52) - kTwo52;  // the offset nearest the crossing
                b[g] = middle - ones;
                const Vec after = middle + ones;
                const Vec y_b = ((y.d3 * b[g] + y.d2) * b[g] + y.d1) * b[g] + y.d0;
                const Vec y_middle = ((y.d3 * middle + y.d2) * middle + y.d1) * middle + y.d0;
                const Vec y_after = ((y.d3 * after + y.d2) * after + y.d1) * after + y.d0;
                const Vec off_b = (Vec)((Mask)(y_b - q_j[g]) & magnitude);
                const Vec off_after = (Vec)((Mask)(y_after - q_next[g]) & magnitude);
                const Vec off_low = (Vec)((Mask)(y_middle - q_j[g]) & magnitude);
                const Vec off_high = (Vec)((Mask)(y_middle - q_next[g]) & magnitude);
                checked[g] = (off_b < inside) & (off_after < inside);
                low[g] = off_low < inside;
                high[g] = off_high < inside;
            }
            // Where all hold, their stretches follow each other and each
            // middle offset is certain, they are added at once: lane j adds
            // (b_j - b_(j-1) - 2) + 1 offsets of q_j and its middle.
            const Vec start = {p - 2.0, 0.0, 0.0, 0.0};
            const Vec previous[kGroups] = {__builtin_shufflevector(start, b[0], 0, 4, 5, 6),
                                           __builtin_shufflevector(b[0], b[1], 3, 4, 5, 6)};
            Mask all = (checked[0] & (low[0] | high[0]) & (b[0] - previous[0] >= 2.0)) &
                       (checked[1] & (low[1] | high[1]) & (b[1] - previous[1] >= 2.0));
            all &= __builtin_shufflevector(all, all, 2, 3, 0, 1);
            all &= __builtin_shufflevector(all, all, 1, 0, 3, 2);
            const double last_end = b[kGroups - 1][kLanes - 1];
            if (all[0] != 0 && last_end + 2.0 <= last) {
#pragma GCC unroll 2
                for (std::size_t g = 0; g < kGroups; ++g) {
                    const Vec middle_units =
                        (Vec)((low[g] & (Mask)q_j[g]) | (~low[g] & (Mask)q_next[g]));
                    totals += (b[g] - previous[g] - ones) * q_j[g] + middle_units;
                }
                p = last_end + 2.0;
                continue;
            }
            // Lane by lane, up to the first that fails.
            bool failed = false;
            for (std::size_t g = 0; g < kGroups && !failed; ++g) {
                for (std::size_t lane = 0; lane < kLanes; ++lane) {
                    const double end = b[g][lane];
                    if (checked[g][lane] == 0 || !(end >= p && end + 2.0 <= last)) {
                        // A crossing that failed its check, or the anchor's end.
                        const double found = stretch_end(y, inside, q_j[g][lane], p, end, last);
                        other_units += (found - p + 1.0) * q_j[g][lane];
                        p = found + 1.0;
                        failed = true;
                        break;
                    }
                    other_units += (end - p + 1.0) * q_j[g][lane];
                    if (low[g][lane] != 0) {
                        other_units += q_j[g][lane];
                    } else if (high[g][lane] != 0) {
                        other_units += q_next[g][lane];
                    } else {
                        double own = 0.0;
                        const auto position = first + static_cast<std::size_t>(end + 1.0);
                        if (!take_term(slice, position, s, rules, units_now(), own)) return false;
                        other_units += own;
                    }
                    p = end + 2.0;
                }
            }
            if (failed) break;
        }
    }
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

bool walk_anchor(Slice& slice, std::size_t first, std::size_t count, const Cubic& y, double inside,
                 const Binomial& inverse, double s, const Rules& rules, double& units) {
    return rules.wide_vectors
               ? walk_wide(slice, first, count, y, inside, inverse, s, rules, units)
               : walk_baseline(slice, first, count, y, inside, inverse, s, rules, units);
}

}  // namespace reihen::engine
