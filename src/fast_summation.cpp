// How the sum is found without adding every term, and why it is exact.
//
// Notation: T(n) = 1.0 / pow(n, s) is the computed term (series_term), the
// one the plain loop adds; tau(n) = n^-s is the true value. All that is
// assumed of pow is that it errs by at most 2^-40 of its result (4096 units
// in the last place) where that result is a normal number; with the rounded
// division, |T(n) - tau(n)| <= d tau(n), d = 2^-39.99. Nothing is assumed of
// T being monotone: tau is (strictly, for s != 0), and every argument below
// goes through tau.
//
// 1. Units. While the sum S lies in one binade, S = m u with last-place unit
//    u and 2^52 <= m < 2^53, and adding t gives (m + q) u with q = t/u
//    rounded to nearest, as long as m + q < 2^53 and t/u is not exactly
//    halfway between two whole numbers (a tie, which rounds to even and so
//    depends on m). Such additions are exact whole-number additions of q.
//    A computed term's own q needs no margin: its scaling by the power of
//    two 1/u is exact (take_term).
// 2. Approximations. Near an anchor a with T(a) computed, tau(a + i) =
//    tau(a) (1 + x)^-s with x = i/a; the binomial series cut after x^3 errs
//    by less than 2^-47.5 while x (|s| + 3) <= 2^-12 (scan_anchor). So
//    v = T(a) * series(x) is within D = d + 2^-47.5 of tau(a + i), relative.
//    A computed term is such a value too (D >= d).
// 3. Certain units. If v (point 2) lies, after scaling y = v/u, at least
//    e = margin * y inside a rounding interval, |y - q| + e < 1/2, then
//    T(n)/u, which is within (D + d)(1 + 2^-38) y <= 2^-38.9 y of y, rounds
//    to q with no tie: margin 2^-37 covers that 3.7 times. The same margin
//    around the limit L tells that T(n) > L, or that T(n) < L.
// 4. Stretches. If the values of a and b, a < b, both lie e = margin *
//    max(y_a, y_b) inside the interval of q, then tau(a)/u and tau(b)/u lie
//    e - D y inside it; tau(n) for a < n < b lies between them (tau is
//    monotone), and T(n)/u within d tau(n)/u of tau(n)/u. As e exceeds
//    (D + d)(1 + 2^-38) max(y) <= 2^-38.9 max(y) 3.7 times, every term from
//    a to b adds q units: the stretch adds (b - a + 1) q units, and only its
//    ends are looked at. Likewise for the limit. Where stretches hold a
//    few indices or more, each thread walks its share stretch by stretch
//    (walk_anchor); where an anchor holds only a few stretches, they are
//    taken one after another (Summation::stretch_step).
// 5. The end. For s >= 0 the terms never grow: once T(n)/u lies certainly
//    below 1/2 (q = 0 by point 3), every later tau(n') <= tau(n), so T(n')/u
//    < 1/2 too: no later term changes the sum, and the run is over.
// 6. From n = 2^53 on, n + 1 == n: the term is one fixed value for ever, and
//    each binade of the sum is crossed in closed form (add_repeatedly).
#include "fast_summation.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "vector_clones.h"

namespace reihen {
namespace {

constexpr double kTwo51 = 0x1p51;
constexpr double kTwo52 = 0x1p52;
constexpr double kTwo53 = 0x1p53;
constexpr std::uint64_t kTopUnits = std::uint64_t{1} << 53;

// The range in which pow's result (1/tau) and the term are normal numbers,
// so that their errors are relative ones.
constexpr double kLowestValue = 0x1p-1000;
constexpr double kHighestValue = 0x1p1000;

// 2^(52 - e) for a sum in [2^e, 2^(e+1)): the sum's last-place unit is its
// inverse. Zero where the sum has no such unit (zero, subnormal, infinite).
// Also zero below 2^-971, where the scale itself would not be a double.
double unit_scale(double sum) {
    if (!(sum >= DBL_MIN) || std::isinf(sum)) return 0.0;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &sum, sizeof bits);
    const std::uint64_t exponent = bits >> 52;  // biased: e + 1023
    if (exponent < 52) return 0.0;
    const std::uint64_t scale_bits = (52 + 2046 - exponent) << 52;
    double scale = 0.0;
    std::memcpy(&scale, &scale_bits, sizeof scale);
    return scale;
}

// What the rounding of a term (or of an approximation to it) is known to do.
enum class Verdict {
    kUnits,       // adds `units` units of the sum's last place, no tie
    kUncertain,   // too close to call: the term is computed and added
    kBelowLimit,  // certainly not above the limit: the plain loop stops here
    kSettled,     // s >= 0 and certainly below half a unit: nothing changes any more
};

struct Classified {
    Verdict verdict;
    double units;
};

struct Rules {
    double scale;             // 1 / u of the sum's binade
    double limit;             // L
    double margin;            // relative margin (point 2)
    bool never_grow;          // s >= 0: the terms never grow (point 4)
    double shortest_stretch;  // anchors are walked stretch by stretch from here
};

// Point 2 for one value (a computed term or an approximation to one).
Classified classify(double value, const Rules& rules) {
    const Classified uncertain{Verdict::kUncertain, 0.0};
    if (!(value >= kLowestValue && value <= kHighestValue) || rules.scale == 0.0) return uncertain;
    if (value * (1.0 + rules.margin) < rules.limit) return {Verdict::kBelowLimit, 0.0};
    if (!(value * (1.0 - rules.margin) > rules.limit)) return uncertain;
    const double y = value * rules.scale;
    if (!(y < kTwo51)) return uncertain;
    // y - q is exact: y and q are within a factor of two, or q is 0.
    const double q = (y + kTwo52) - kTwo52;
    if (!(std::fabs(y - q) + rules.margin * y < 0.5)) return uncertain;
    if (q == 0.0 && rules.never_grow) return {Verdict::kSettled, 0.0};
    return {Verdict::kUnits, q};
}

// The coefficients of (1 + x)^-s = sum c_j x^j, j = 0 to 3.
using Binomial = std::array<double, 4>;

Binomial binomial_coefficients(double s) {
    Binomial c{};
    c[0] = 1.0;
    for (std::size_t j = 0; j + 1 < c.size(); ++j) {
        const double k = static_cast<double>(j);
        c[j + 1] = c[j] * ((-s - k) / (k + 1.0));
    }
    return c;
}

// How many indices a, a + 1, ... one anchor a serves: i/a (|s| + 3) <= 2^-12
// (up to a rounding of the bound, which the error budget absorbs).
double anchor_reach(double a, double s) {
    return std::floor(a * 0x1p-12 / (std::fabs(s) + 3.0)) + 1.0;
}

// An anchor that serves fewer indices than this is not worth its pow call.
constexpr double kShortestReach = 8.0;

// Four doubles at a time; the compiler maps these to the vector registers of
// the machine the function runs on.
using Vec = double __attribute__((vector_size(32)));
using Mask = long long __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 4;

// The series below for one index a + i of an anchor's reach; `inverse` is
// 1.0 / a.
double approximate_one(double anchor_term, double inverse, const Binomial& c, double i) {
    const double x = i * inverse;
    return anchor_term * (((c[3] * x + c[2]) * x + c[1]) * x + 1.0);
}

// An index whose term had to be computed, with the certain units before it.
struct Uncertain {
    std::uint32_t position;
    double units_before;
    double term;
};

enum class SliceEnd { kOpen, kBelowLimit, kSettled };

// One thread's share of a block: the indices n0 .. n0 + length - 1, sorted
// into certain units and uncertain terms under one binade's rules.
struct Slice {
    double n0 = 0.0;
    std::size_t length = 0;  // indices before `end` (all of them when open)
    SliceEnd end = SliceEnd::kOpen;
    double units = 0.0;  // exact while below 2^53; more means the binade is left
    std::vector<Uncertain> uncertain;
    bool cut = false;  // ended early with its list of uncertain indices full
};

// The most uncertain indices one slice holds: a slice that would hold more
// is cut short there, which bounds its memory.
constexpr std::size_t kMostUncertain = 1 << 17;

// Cuts the slice short at position i, with `units` before it, if its list
// of uncertain indices is full.
bool cut_if_full(Slice& slice, std::size_t i, double units) {
    if (slice.uncertain.size() < kMostUncertain) return false;
    slice.cut = true;
    slice.length = i;
    slice.units = units;
    return true;
}

double lane_sum(const Vec& v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// An index too close to call by its approximation takes its computed term.
// Its units are still known where that term lies above the limit and is no
// tie (point 1 with the term itself, whose scaling is exact, or far below
// 1/2 where it is not), except that a term below half a unit does not end
// a run (point 5 needs the margin). Any other term is kept, to be added in
// order. Returns false where the slice is cut short before it.
bool take_term(Slice& slice, std::size_t i, double s, const Rules& rules, double before,
               double& units) {
    const double term = series_term(slice.n0 + static_cast<double>(i), s);
    const double y = term * rules.scale;
    const double q = (y + kTwo52) - kTwo52;
    units = 0.0;
    if (term > rules.limit && rules.scale != 0.0 && y < kTwo51 && std::fabs(y - q) != 0.5 &&
        !(q == 0.0 && rules.never_grow)) {
        units = q;
        return true;
    }
    if (cut_if_full(slice, i, before)) return false;
    slice.uncertain.push_back({static_cast<std::uint32_t>(i), before, term});
    return true;
}

// Sorts one index that no group-wide test settled; `before` holds the units
// of the slice before it, `units` receives its own. Returns false where the
// slice ends before it.
bool look_closer(Slice& slice, std::size_t i, double value, double s, const Rules& rules,
                 double before, double& units) {
    const Classified verdict = classify(value, rules);
    if (verdict.verdict == Verdict::kUnits) {
        units = verdict.units;
    } else if (verdict.verdict == Verdict::kUncertain) {
        return take_term(slice, i, s, rules, before, units);
    } else {
        slice.end =
            verdict.verdict == Verdict::kSettled ? SliceEnd::kSettled : SliceEnd::kBelowLimit;
        slice.length = i;
        slice.units = before;
        return false;
    }
    return true;
}

// The scaled approximations of one anchor's indices as a cubic in the
// index offset i (scan_anchor).
struct Cubic {
    double d0;  // the scaled anchor term
    double d1;
    double d2;
    double d3;

    double operator()(double i) const { return ((d3 * i + d2) * i + d1) * i + d0; }
};

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

// Walks the offsets of one anchor stretch by stretch, where stretches hold
// many indices: from an offset p whose value lies `inside` the interval of
// q, the value crosses the bounds q + 1/2, q + 3/2, ... (or q - 1/2, ...
// where it falls) at offsets predicted from the continuous function. Around
// the offset c nearest a crossing, the values of c - 1 and c + 1 must lie
// inside the intervals on either side of it; c itself lies inside one of
// them, or takes its computed term. With the start of each stretch checked
// by the crossing before it, every stretch has both ends inside the
// interval of its q, and so adds (length) q units (point 4). The stretches
// come out in order, as tau is monotone and each checked value lies within
// its interval with tau. Crossings are predicted and checked four at a
// time; where one fails, its stretch's end is searched for (stretch_end),
// and offsets too close to call take their computed term.
//
// The prediction inverts y(i) = d0 (1 + i/a)^-s: with r = h/d0 - 1, the
// offset where y reaches h is a ((1 + r)^(-1/s) - 1), here its series to
// r^3. It is a guess only: every end is checked.
REIHEN_VECTOR_CLONES bool walk_anchor(Slice& slice, std::size_t first, std::size_t count,
                                      const Cubic& y, double inside, const Binomial& inverse,
                                      double s, const Rules& rules, double& units) {
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

// Sorts the indices a + i, i < count <= reach, of one anchor a (at position
// `first` of the slice) by their approximations anchor_term * (1 + x)^-s,
// x = i / a (point 2), adding the certain units to `units`. Returns false
// where the slice ends within them.
//
// With X = max x, (|s| + 3) X <= 2^-12, so |c_j x^j| <= 2^-12j for j <= 4
// (each factor |(-s - i)/(i + 1)| x <= (|s| + 3) X), and each later term
// of the series is at most 2^-12 times the one before: the terms from x^4
// on add up to less than 2^-48 / (1 - 2^-12). Horner's scheme, with all
// partial values below 2^-11 after the leading 1, errs by less than 2^-52 in
// all; the coefficients' own rounding (2j units of 2^-53, on terms below
// 2^-12j) and that of x = i * fl(1/a) (two roundings: |s| x 2^-52) are
// smaller still. With the final product the approximation is within 2^-47.5
// of T(a) (1 + x)^-s, relative.
REIHEN_VECTOR_CLONES bool scan_anchor(Slice& slice, std::size_t first, std::size_t count,
                                      double anchor_term, const Binomial& c,
                                      const Binomial& inverse_series, double s, const Rules& rules,
                                      double& units) {
    const double a = slice.n0 + static_cast<double>(first);
    const double inverse = 1.0 / a;
    // The series stays within 2^-11 of 1. Where that keeps every value in
    // range and above the limit, and the scaled values far from the
    // subnormal range, only the rounding is tested lane by lane.
    const double low = anchor_term * (1.0 - 0x1p-11);
    const double high = anchor_term * (1.0 + 0x1p-11);
    if (!(low >= kLowestValue && high <= kHighestValue &&
          low * (1.0 - rules.margin) > rules.limit && high * rules.scale < kTwo51 &&
          low * rules.scale > 0x1p-900)) {
        for (std::size_t i = 0; i < count; ++i) {
            const double value = approximate_one(anchor_term, inverse, c, static_cast<double>(i));
            double own = 0.0;
            if (!look_closer(slice, first + i, value, s, rules, units, own)) return false;
            units += own;
        }
        return true;
    }
    // y = (anchor_term * scale) * series is the value scaled exactly (the
    // scale is a power of two and nothing leaves the normal range), here as
    // a polynomial in i with d_k = scaled anchor * c_k / a^k: each d_k is
    // within four roundings, on a term below 2^-12k of y, so the bound of
    // 2^-47.5 holds as for the series in x.
    const double scaled_anchor = anchor_term * rules.scale;
    const double d1 = scaled_anchor * c[1] * inverse;
    const double d2 = scaled_anchor * c[2] * inverse * inverse;
    const double d3 = scaled_anchor * c[3] * inverse * inverse * inverse;
    // One margin for the whole anchor, that of its largest value: a larger
    // margin than a lane needs only makes it more careful.
    const double inside = 0.5 - rules.margin * (high * rules.scale);
    const Cubic cubic{scaled_anchor, d1, d2, d3};
    // Where stretches are long, the anchor is walked stretch by stretch;
    // where the terms never grow, only while every value adds a unit or more
    // (so that no value settles the run).
    const double spread = std::fabs(cubic(static_cast<double>(count) - 1.0) - scaled_anchor);
    if (s != 0.0 && std::isfinite(inverse_series[3]) &&
        (!rules.never_grow || low * rules.scale >= 1.0) &&
        static_cast<double>(count) >= rules.shortest_stretch * (spread + 1.0)) {
        return walk_anchor(slice, first, count, cubic, inside, inverse_series, s, rules, units);
    }
    const Vec zero = {0.0, 0.0, 0.0, 0.0};
    Vec totals = zero;
    double other_units = 0.0;  // those of the indices looked at closer
    const auto units_now = [&] { return units + lane_sum(totals) + other_units; };
    const auto closer = [&](std::size_t i) {
        const double value = approximate_one(anchor_term, inverse, c, static_cast<double>(i));
        double own = 0.0;
        if (!look_closer(slice, first + i, value, s, rules, units_now(), own)) return false;
        other_units += own;
        return true;
    };
    const Mask magnitude = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};
    constexpr std::size_t kGroups = 4;
    constexpr std::size_t kStep = kGroups * kLanes;
    // The units of four indices from `at` on, and whether each is certain
    // (point 3).
    // (Where the terms never grow, zero units are not certain: they may
    // settle the run, which classify tells.)
    const Mask any_units = {-1, -1, -1, -1};
    const Mask zero_units = rules.never_grow ? ~any_units : any_units;
    const auto sort_group = [&](const Vec& at, Vec& q, Mask& certain) {
        const Vec y = ((d3 * at + d2) * at + d1) * at + scaled_anchor;
        q = (y + kTwo52) - kTwo52;
        certain = ((Vec)((Mask)(y - q) & magnitude) < inside) & ((q != zero) | zero_units);
    };
    const Vec lanes = {0.0, 1.0, 2.0, 3.0};
    std::size_t i = 0;
    // Four groups of four lanes at a time. Their units are added up as they
    // come; only where some lane is not certain are they sorted again, lane
    // by lane (which keeps the common case in registers).
    for (; i + kStep <= count; i += kStep) {
        const Vec first_lanes = static_cast<double>(i) + lanes;
        Vec step_units = zero;
        Mask all = any_units;
#pragma GCC unroll 4
        for (std::size_t g = 0; g < kGroups; ++g) {
            Vec q;
            Mask certain;
            sort_group(first_lanes + static_cast<double>(g * kLanes), q, certain);
            step_units += q;
            all &= certain;
        }
        // Whether every lane holds, folded within the vector registers
        // (reading lanes one by one goes through memory).
        all &= __builtin_shufflevector(all, all, 2, 3, 0, 1);
        all &= __builtin_shufflevector(all, all, 1, 0, 3, 2);
        if (all[0] != 0) {
            totals += step_units;
            continue;
        }
        // Some lane needs a closer look: the lanes one by one, in order.
        // Every total is a sum of whole numbers of units, never a
        // difference, so that exactness is kept.
        for (std::size_t g = 0; g < kGroups; ++g) {
            Vec q;
            Mask certain;
            sort_group(first_lanes + static_cast<double>(g * kLanes), q, certain);
            for (std::size_t lane = 0; lane < kLanes; ++lane) {
                const std::size_t at = i + g * kLanes + lane;
                if (certain[lane] != 0) {
                    other_units += q[lane];
                } else if (rules.never_grow) {
                    // Zero units may settle the run: classify tells.
                    if (!closer(at)) return false;
                } else {
                    // Every value lies above the limit here: only the term
                    // itself can tell its units.
                    double own = 0.0;
                    if (!take_term(slice, first + at, s, rules, units_now(), own)) return false;
                    other_units += own;
                }
            }
        }
    }
    for (; i < count; ++i) {
        if (!closer(i)) return false;
    }
    units += lane_sum(totals) + other_units;
    return true;
}

// Sorts the slice's indices into certain units and uncertain terms under
// one binade's rules. Whole numbers add exactly in doubles below 2^53, and
// so do the units while their total stays below 2^53: a larger total leaves
// the binade in any case, and rounding never takes a total below 2^53 that
// is not.
void scan_slice(Slice& slice, double s, const Binomial& c, const Binomial& inverse_series,
                const Rules& rules) {
    slice.uncertain.clear();
    slice.end = SliceEnd::kOpen;
    slice.cut = false;
    const std::size_t count = slice.length;
    double units = 0.0;
    std::size_t i = 0;
    while (i < count) {
        const double a = slice.n0 + static_cast<double>(i);
        const double reach = anchor_reach(a, s);
        if (reach < kShortestReach) {
            // No approximation near the start: the term itself is computed.
            double own = 0.0;
            if (!look_closer(slice, i, 0.0, s, rules, units, own)) return;
            units += own;
            ++i;
            continue;
        }
        const std::size_t block =
            static_cast<std::size_t>(std::min(reach, static_cast<double>(count - i)));
        if (!scan_anchor(slice, i, block, series_term(a, s), c, inverse_series, s, rules, units)) {
            return;
        }
        i += block;
    }
    slice.units = units;
}

// A reusable barrier for a fixed number of threads, of a mutex and a
// condition variable: it behaves the same with every thread library.
class Barrier {
public:
    explicit Barrier(unsigned count) : count_(count) {}

    void arrive_and_wait() {
        std::unique_lock lock(mutex_);
        const std::uint64_t phase = phase_;
        if (++arrived_ == count_) {
            next_phase();
        } else {
            all_arrived_.wait(lock, [&] { return phase_ != phase; });
        }
    }

    // One thread fewer from now on.
    void drop() {
        const std::lock_guard lock(mutex_);
        --count_;
        if (count_ > 0 && arrived_ == count_) next_phase();
    }

private:
    void next_phase() {
        arrived_ = 0;
        ++phase_;
        all_arrived_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable all_arrived_;
    unsigned count_;
    unsigned arrived_ = 0;
    std::uint64_t phase_ = 0;
};

// Runs one job on up to `count` threads, the caller's among them. Where the
// system refuses more threads, it makes do with those it has.
class WorkerPool {
public:
    explicit WorkerPool(unsigned count) : start_(count), done_(count) {
        for (unsigned index = 1; index < count; ++index) {
            try {
                workers_.emplace_back([this, index] { work(index); });
            } catch (const std::system_error&) {
                // The places of the threads that could not be made.
                for (unsigned missing = index; missing < count; ++missing) {
                    start_.drop();
                    done_.drop();
                }
                break;
            }
        }
    }

    // The number of threads that run a job, the caller's included.
    unsigned size() const { return static_cast<unsigned>(workers_.size()) + 1; }

    ~WorkerPool() {
        quitting_ = true;
        start_.arrive_and_wait();
        for (auto& worker : workers_) worker.join();
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void run(const std::function<void(unsigned)>& job) {
        job_ = &job;
        start_.arrive_and_wait();
        job(0);
        done_.arrive_and_wait();
    }

private:
    void work(unsigned index) {
        for (;;) {
            start_.arrive_and_wait();
            if (quitting_) return;
            (*job_)(index);
            done_.arrive_and_wait();
        }
    }

    Barrier start_;
    Barrier done_;
    const std::function<void(unsigned)>* job_ = nullptr;
    bool quitting_ = false;
    std::vector<std::thread> workers_;
};

unsigned thread_count() { return std::clamp(std::thread::hardware_concurrency(), 1U, 64U); }

constexpr double kFirstSliceLength = 64.0;
// A share of this many indices, where each is looked at, takes a thread
// long enough that the pool's start and end cost little against it.
constexpr double kLongestSlice = 1048576.0;
// Slices are numbered by 32-bit positions.
constexpr double kLongestWalk = 0x1p31;
// The stretches a walked share holds at most, about: a few of them take
// their computed terms, which the share's list must hold.
constexpr double kMostStretches = 65536.0;

// The whole run: the plain loop's state, advanced by plain steps, by blocks
// of single indices sorted by approximation, and by stretches.
class Summation {
public:
    Summation(double s, double limit, SummationMonitor& monitor,
              const FastSummationSettings& settings)
        : s_(s),
          limit_(limit),
          monitor_(monitor),
          settings_(settings),
          binomial_(binomial_coefficients(s)),
          inverse_series_(binomial_coefficients(1.0 / s)),
          pool_(thread_count()),
          slices_(pool_.size()) {}

    double run() {
        // The first index through the plain step: from then on the sum is
        // at least about 1, a normal number with a last-place unit.
        if (!plain_step(series_term(n_, s_))) {
            monitor_.progress(added_, sum_);
            return sum_;
        }
        bool stretches = n_ < kTwo53 && stretch_expected(2.0, scaled_term());
        double slice_length = kFirstSliceLength;
        while (!ended_ && n_ < kTwo53) {
            if (stretches) {
                stretches = stretch_step(kTwo53 - 1.0, sequential_stretch());
                if (!stretches) slice_length = kFirstSliceLength;
            } else {
                run_block(block_length(slice_length, scaled_term()));
                slice_length = std::min(slice_length * 2.0, kLongestSlice);
                stretches = !ended_ && n_ < kTwo53 && stretch_expected(2.0, scaled_term());
            }
            // The monitor is asked right after it was told, so that a stop
            // always comes with the count and sum it saw last.
            if ((++steps_ & 0x3FF) == 0 || !stretches) {
                monitor_.progress(added_, sum_);
                if (monitor_.stop_requested()) return sum_;
            }
        }
        if (!ended_ && n_ == kTwo53) fixed_term_sum();
        monitor_.progress(added_, sum_);
        return sum_;
    }

private:
    Rules rules() const {
        return {unit_scale(sum_), limit_, settings_.margin, s_ >= 0.0, settings_.shortest_stretch};
    }

    // The term of index n in units of the sum's last place.
    double scaled_term() const { return series_term(n_, s_) * unit_scale(sum_); }

    // How many indices at n share one q, where the scaled term is y: about
    // n / (|s| y).
    double stretch_length(double y) const {
        return s_ == 0.0 ? kTwo53 : n_ / (std::fabs(s_) * std::max(y, 0.5));
    }

    void count_added(double count) {
        const std::uint64_t more = static_cast<std::uint64_t>(count);
        added_ = added_ > UINT64_MAX - more ? UINT64_MAX : added_ + more;
    }

    // One step of the plain loop with the term of index n, computed.
    bool plain_step(double term) {
        if (!(term > limit_)) {
            ended_ = true;
            return false;
        }
        sum_ += term;
        n_ += 1.0;
        count_added(1.0);
        if (std::isinf(sum_)) ended_ = true;
        return !ended_;
    }

    // Adds `units` certain units if the sum stays in its binade.
    bool add_units(double units, double scale) {
        if (!(sum_ * scale + units < kTwo53)) return false;
        sum_ += units / scale;
        return true;
    }

    // Whether stretches at n, where the scaled term is y, are better taken
    // one after another on one thread, with `factor` to spare: where an
    // anchor's reach holds only a few of them, blocks are mostly the cost
    // of their anchors.
    bool stretch_expected(double factor, double y) const {
        return stretch_length(y) >= factor * sequential_stretch();
    }

    double sequential_stretch() const {
        const double few = anchor_reach(n_, s_) / settings_.stretches_per_anchor;
        return std::max(settings_.shortest_stretch, few);
    }

    // The indices of the next block. A thread's share is longer where
    // stretches are walked, so that each share holds about as much work.
    // The block stays short of the end of the sum's binade: there the rest
    // of the block goes one stretch or index at a time. Units of growing
    // terms are bounded by those of the block's last index.
    double block_length(double slice_length, double y) const {
        const double stretch = stretch_length(y);
        const double reach = anchor_reach(n_, s_);
        // Only where anchors are walked at all, and not where a wide margin
        // leaves many values too close to call: each of those takes its
        // computed term.
        const bool walks = stretch > settings_.shortest_stretch && reach >= kShortestReach &&
                           std::isfinite(inverse_series_[3]) && settings_.margin * y < 0x1p-6;
        const double walked = walks ? stretch / settings_.shortest_stretch : 1.0;
        // A walked share spans 64 anchors at most, over which the length of
        // the stretches, estimated at its start, changes little.
        const double widest = walks ? std::max(kFirstSliceLength, 64.0 * reach) : kLongestWalk;
        const double threads = pool_.size();
        const double room = kTwo53 - sum_ * unit_scale(sum_);  // units left in the binade
        double fits = 0.9 * room / std::max(y, 0x1p-30);
        if (s_ < 0.0) fits /= std::pow(1.0 + fits / n_, -s_);
        const double share =
            walks ? std::min(slice_length, kMostStretches * settings_.shortest_stretch)
                  : slice_length;
        const double longest = threads * std::min({share * walked, widest, kLongestWalk});
        const double shortest =
            threads * std::min({kFirstSliceLength * walked, widest, kLongestWalk});
        return std::max(std::min(longest, fits), shortest);
    }

    // Sorts the next indices on all threads, then adds them in order.
    void run_block(double length) {
        const Rules block_rules = rules();
        const double room = kTwo53 - n_;  // indices before the fixed term
        const unsigned threads = pool_.size();
        const double slice_length = std::ceil(length / threads);
        const double start = n_;
        for (unsigned index = 0; index < threads; ++index) {
            Slice& slice = slices_[index];
            const double first = std::min(index * slice_length, room);
            slice.n0 = start + first;
            slice.length = static_cast<std::size_t>(std::min(slice_length, room - first));
        }
        pool_.run([&](unsigned index) {
            scan_slice(slices_[index], s_, binomial_, inverse_series_, block_rules);
        });
        // The slices after one that was cut short do not follow on from it.
        for (unsigned index = 0; index < threads && !ended_; ++index) {
            add_slice(slices_[index], block_rules.scale);
            if (slices_[index].cut) break;
        }
    }

    void add_slice(const Slice& slice, double scale) {
        added_before_slice_ = added_;
        if (unit_scale(sum_) != scale) return add_slice_slowly(slice, 0);
        double units_added = 0.0;
        for (const Uncertain& u : slice.uncertain) {
            if (!add_units(u.units_before - units_added, scale)) {
                return add_slice_slowly(slice, position_after(slice, &u));
            }
            units_added = u.units_before;
            n_ = slice.n0 + static_cast<double>(u.position);
            added_ = added_before_slice_ + u.position;
            if (!plain_step(u.term)) return;
            if (unit_scale(sum_) != scale) return add_slice_slowly(slice, u.position + 1);
        }
        if (!add_units(slice.units - units_added, scale)) {
            return add_slice_slowly(slice, position_after(slice, nullptr));
        }
        finish_slice(slice);
    }

    // The first position after the uncertain index before `next` (or after
    // the last one): the sum is exact up to there.
    static std::size_t position_after(const Slice& slice, const Uncertain* next) {
        const std::size_t handled = next == nullptr
                                        ? slice.uncertain.size()
                                        : static_cast<std::size_t>(next - slice.uncertain.data());
        return handled == 0 ? 0 : slice.uncertain[handled - 1].position + 1;
    }

    // Where the binade changes within a slice: stretch by stretch, or index
    // by index, under the rules of the current binade. An end the slice
    // found still holds: the limit does not depend on the binade, and in a
    // larger binade a term below half a unit stays below.
    void add_slice_slowly(const Slice& slice, std::size_t from) {
        added_ = added_before_slice_ + from;
        n_ = slice.n0 + static_cast<double>(from);
        const double end = slice.n0 + static_cast<double>(slice.length);
        while (n_ < end && !ended_) stretch_step(end - 1.0, settings_.shortest_stretch);
        if (!ended_) finish_slice(slice);
    }

    void finish_slice(const Slice& slice) {
        n_ = slice.n0 + static_cast<double>(slice.length);
        added_ = added_before_slice_ + slice.length;
        ended_ = slice.end != SliceEnd::kOpen;
    }

    // Whether y_a and y_b (scaled terms) both lie e = margin * max inside
    // the interval of q (point 3).
    bool both_inside(double y_a, double y_b, double q) const {
        const double e = settings_.margin * std::max(y_a, y_b);
        return std::fabs(y_a - q) + e < 0.5 && std::fabs(y_b - q) + e < 0.5;
    }

    // An approximation to T(n) by point 5, from the anchor that serves n, or
    // from a new one at n; 0.0 where n gets none.
    double approximation(double n) {
        if (!(n >= anchor_ && n < anchor_end_)) {
            anchor_ = n;
            anchor_inverse_ = 1.0 / n;
            anchor_end_ = n + anchor_reach(n, s_);
            anchor_term_ = series_term(n, s_);
            if (anchor_end_ - n < kShortestReach ||
                !(anchor_term_ >= kLowestValue && anchor_term_ <= kHighestValue)) {
                anchor_end_ = n;  // none here
                return 0.0;
            }
        }
        return approximate_one(anchor_term_, anchor_inverse_, binomial_, n - anchor_);
    }

    // One stretch from n on, up to index `bound` at most, or one plain step
    // where there is none to take. Where stretches are expected to be
    // shorter than `shortest`, takes one index and returns false.
    bool stretch_step(double bound, double shortest) {
        const Rules now = rules();
        const double value = approximation(n_);
        const Classified start = classify(value, now);
        if (start.verdict == Verdict::kBelowLimit || start.verdict == Verdict::kSettled) {
            ended_ = true;
            return false;
        }
        const double q = start.units;
        const double m = sum_ * now.scale;
        if (start.verdict != Verdict::kUnits || m + q >= kTwo53) {
            plain_step(series_term(n_, s_));
            return true;
        }
        const double y_a = value * now.scale;
        if (stretch_length(y_a) < shortest) {
            if (add_units(q, now.scale)) {
                n_ += 1.0;
                count_added(1.0);
            }
            return false;
        }
        const auto holds = [&](double b) {
            const double value_b = approximation(b);
            const Classified end = classify(value_b, now);
            return end.verdict == Verdict::kUnits && end.units == q &&
                   both_inside(y_a, value_b * now.scale, q);
        };
        // The last index whose units keep the sum in its binade, the last
        // one before the fixed term, and the bound.
        double last = std::min(kTwo53 - 1.0, bound);
        if (q > 0.0) {
            const std::uint64_t room =
                (kTopUnits - 1 - static_cast<std::uint64_t>(m)) / static_cast<std::uint64_t>(q);
            last = std::min(last, n_ + static_cast<double>(room) - 1.0);
        }
        double b = std::min(predicted_end(q, y_a, now), last);
        if (b > n_ && !holds(b)) {
            // The prediction overshot: the last index known to hold lies
            // between n (which holds) and b (which does not).
            double good = n_;
            double bad = b;
            while (bad - good > 1.0) {
                const double middle = std::floor(good + (bad - good) / 2.0);
                (holds(middle) ? good : bad) = middle;
            }
            b = good;
        }
        b = std::max(b, n_);
        const double count = b - n_ + 1.0;
        sum_ += count * q / now.scale;  // below 2^53 units by the choice of `last`
        n_ = b + 1.0;
        count_added(count);
        return true;
    }

    // Where q should change, from n^-s = value solved for n; only a guess,
    // checked by computing the term there. A little short of the place where
    // the margin would no longer hold, so that the guess usually holds.
    double predicted_end(double q, double y_a, const Rules& now) const {
        if (s_ == 0.0) return kTwo53;
        const double e = 2.0 * settings_.margin * y_a;
        double y_end = s_ > 0.0 ? q - 0.5 + e : q + 0.5 - e;
        if (s_ > 0.0) y_end = std::max(y_end, limit_ * (1.0 + 4.0 * settings_.margin) * now.scale);
        // n_end = n (1 + r)^k with 1 + r = y_end / y_a and k = -1/s; by the
        // binomial series to third order where r is small, by pow elsewhere.
        const double r = y_end / y_a - 1.0;
        const double k = -1.0 / s_;
        const double n =
            std::fabs(r) < 0x1p-12
                ? std::floor(
                      n_ + n_ * (r * k * (1.0 + r * (k - 1.0) / 2.0 * (1.0 + r * (k - 2.0) / 3.0))))
                : std::floor(n_ * std::pow(1.0 + r, k));
        return n >= n_ ? n : n_;  // also where the guess is NaN
    }

    // From n = 2^53 on the term is fixed (point 6).
    void fixed_term_sum() {
        const double term = series_term(n_, s_);
        if (!(term > limit_)) return;
        sum_ = add_repeatedly(sum_, term, std::numeric_limits<double>::infinity());
    }

    const double s_;
    const double limit_;
    SummationMonitor& monitor_;
    const FastSummationSettings settings_;
    const Binomial binomial_;
    const Binomial inverse_series_;  // of (1 + r)^(-1/s)
    WorkerPool pool_;
    std::vector<Slice> slices_;

    double sum_ = settings_.start_sum;
    double n_ = settings_.first_index;
    // The anchor of the stretches' approximations, serving [anchor_, anchor_end_).
    double anchor_ = 0.0;
    double anchor_inverse_ = 0.0;
    double anchor_end_ = 0.0;
    double anchor_term_ = 0.0;
    bool ended_ = false;
    std::uint64_t added_ = 0;
    std::uint64_t added_before_slice_ = 0;
    std::uint64_t steps_ = 0;
};

}  // namespace

// Within a binade, after one step the sum grows by the same number of units
// d at every step: without a tie each step adds round(t/u); with a tie
// t/u = k + 1/2 the first step leaves an even m, and from an even m every
// step adds k (k even) or k + 1 (k odd), leaving m even again. So two
// computed steps give d, and the rest of the binade is crossed in closed
// form; its edges, and terms large against the sum, go step by step.
double add_repeatedly(double sum, double term, double times) {
    while (times > 0.0 && !std::isinf(sum)) {
        const double first = sum + term;
        if (first == sum) return sum;  // the same addition, for ever
        if (times < 2.0) return first;
        const double second = first + term;
        if (second == first) return first;  // a tie rounded up to an even sum
        const double scale = unit_scale(sum);
        if (scale == 0.0 || term * scale >= 0x1p50 || unit_scale(first) != scale ||
            unit_scale(second) != scale) {
            sum = first;
            times -= 1.0;
            continue;
        }
        const auto d = static_cast<std::uint64_t>((second - first) * scale);
        const auto m = static_cast<std::uint64_t>(second * scale);
        const std::uint64_t room = (kTopUnits - 1 - m) / d;  // steps left in the binade
        const double steps = std::min(static_cast<double>(room), times - 2.0);
        sum = second + steps * static_cast<double>(d) / scale;
        times -= steps + 2.0;
    }
    return sum;
}

double sum_series_fast(double s, double limit, SummationMonitor& monitor,
                       const FastSummationSettings& settings) {
    return Summation(s, limit, monitor, settings).run();
}

}  // namespace reihen
