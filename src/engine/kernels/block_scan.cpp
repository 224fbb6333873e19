#include "block_scan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "lanes.h"
#include "linear_terms.h"
#include "series.h"
#include "stretch_walk.h"

namespace reihen::engine {
namespace {

// Classifies one index that no group-wide test classified; `before` holds the units
// of the slice before it, with no term put off, `units` receives its own.
// Returns false where the slice ends before it.
REIHEN_KERNEL_BODY bool look_closer(Slice& slice, std::size_t i, double value, double s,
                                    const Rules& rules, double before, double& units) {
    const Classified verdict = classify(value, rules);
    if (verdict.verdict == Verdict::kUnits) {
        units = verdict.units;
        return true;
    }
    if (verdict.verdict == Verdict::kUncertain) {
        put_off(slice, i, before);
        take_put_off(slice, s, rules, units);
        return true;
    }
    end_slice(slice, i, before, verdict.verdict);
    return false;
}

// Four groups of four lanes: sixteen indices at a time.
constexpr std::size_t kGroups = 4;
constexpr std::size_t kStep = kGroups * kLanes;

// Each index by its own approximation, looked at closer: where the values
// may leave the range in which the vector test holds.
bool classify_one_by_one(Slice& slice, std::size_t first, std::size_t count, double anchor_term,
                         double reciprocal, const Binomial& c, double s, const Rules& rules,
                         double& units) {
    for (std::size_t i = 0; i < count; ++i) {
        const double value = approximate_one(anchor_term, reciprocal, c, static_cast<double>(i));
        double own = 0.0;
        if (!look_closer(slice, first + i, value, s, rules, units, own)) return false;
        units += own;
    }
    return true;
}

// The indices of one anchor, sixteen at a time by the cubic in the offset:
// the units of each, and whether each is certain (P3). Their units are
// added up as they come; only where some lane is not certain are they
// classified again, lane by lane (which keeps the common case in
// registers).
class IndexScan {
public:
    REIHEN_KERNEL_BODY IndexScan(Slice& slice, std::size_t first, double anchor_term,
                                 double reciprocal, const Binomial& c, const Cubic& y,
                                 double inside, double s, const Rules& rules, double units)
        : slice_(slice),
          first_(first),
          anchor_term_(anchor_term),
          reciprocal_(reciprocal),
          c_(c),
          inside_(inside),
          s_(s),
          rules_(rules),
          units_before_(units),
          y_(y) {}

    // Adds the units of `count` indices to `units`; false where the slice
    // ends within them.
    REIHEN_KERNEL_BODY bool run(std::size_t count, double& units) {
        REIHEN_MAY_FUSE
        const Vec lanes = {0.0, 1.0, 2.0, 3.0};
        const Vec zero = {0.0, 0.0, 0.0, 0.0};
        std::size_t i = 0;
        for (; i + kStep <= count; i += kStep) {
            const Vec first_lanes = static_cast<double>(i) + lanes;
            Vec step_units = zero;
            Vec q_last = zero;
            Mask all = {-1, -1, -1, -1};
#pragma GCC unroll 4
            for (std::size_t g = 0; g < kGroups; ++g) {
                Vec q;
                Mask certain;
                classify_group(first_lanes + static_cast<double>(g * kLanes), q, certain);
                step_units += q;
                all &= certain;
                q_last = q;
            }
            // Where the terms never grow and every lane is certain, only
            // the last lane is asked for units (P5).
            if (all_lanes(all) && (!rules_.never_grow || q_last[kLanes - 1] != 0.0)) {
                totals_ += step_units;
                continue;
            }
            if (!rules_.never_grow) {
                put_off_uncertain(i, first_lanes);
            } else if (!look_closer_at_each(i, first_lanes)) {
                return false;
            }
        }
        for (; i < count; ++i) {
            if (!closer(i)) return false;
        }
        take_terms_put_off();
        units += lane_sum(totals_) + other_units_;
        return true;
    }

private:
    double units_now() const { return units_before_ + lane_sum(totals_) + other_units_; }

    // The terms put off so far, taken and their units added, through a
    // variable of its own, so that no address of this object escapes.
    void take_terms_put_off() {
        double taken = 0.0;
        take_put_off(slice_, s_, rules_, taken);
        other_units_ += taken;
    }

    // The scaled values of four indices from `at` on, their units q and
    // whether each is certain.
    REIHEN_KERNEL_BODY void classify_group(const Vec& at, Vec& q, Mask& certain) const {
        REIHEN_MAY_FUSE
        const Mask magnitude = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};
        const Vec y = ((y_.d3 * at + y_.d2) * at + y_.d1) * at + y_.d0;
        q = (y + kTwo52) - kTwo52;
        certain = (Vec)((Mask)(y - q) & magnitude) < inside_;
    }

    // Growing terms, where some lane of the sixteen from i is not certain:
    // every value lies above the limit here, so that an uncertain lane's
    // term is put off, and only its units before it are needed: those of
    // the certain lanes before it, added up within the vector (lane j of
    // `upto` holds lanes 0 .. j, and an uncertain lane adds none of its
    // own). Room for all sixteen is made first.
    REIHEN_KERNEL_BODY void put_off_uncertain(std::size_t i, const Vec& first_lanes) {
        REIHEN_MAY_FUSE
        if (!has_room(slice_, kStep)) take_terms_put_off();
        double group_start = units_now();
        for (std::size_t g = 0; g < kGroups; ++g) {
            Vec q;
            Mask certain;
            classify_group(first_lanes + static_cast<double>(g * kLanes), q, certain);
            const Vec known = (Vec)((Mask)q & certain);
            totals_ += known;
            Vec upto = known;
            add_up_lanes(upto);
            for (std::size_t lane = 0; lane < kLanes; ++lane) {
                if (certain[lane] != 0) continue;
                const std::size_t at = first_ + i + g * kLanes + lane;
                put_off(slice_, at, group_start + upto[lane]);
            }
            group_start += upto[kLanes - 1];
        }
    }

    // Falling terms, where some lane of the sixteen from i is not certain or
    // adds no units, which may settle the run: the lanes one by one, in
    // order. Every total is a sum of whole numbers of units, never a
    // difference, so that exactness is kept.
    REIHEN_KERNEL_BODY bool look_closer_at_each(std::size_t i, const Vec& first_lanes) {
        REIHEN_MAY_FUSE
        for (std::size_t g = 0; g < kGroups; ++g) {
            Vec q;
            Mask certain;
            classify_group(first_lanes + static_cast<double>(g * kLanes), q, certain);
            for (std::size_t lane = 0; lane < kLanes; ++lane) {
                const std::size_t at = i + g * kLanes + lane;
                if (certain[lane] != 0 && q[lane] != 0.0) {
                    other_units_ += q[lane];
                } else if (!closer(at)) {
                    return false;
                }
            }
        }
        return true;
    }

    // One index by its own approximation, after the terms put off.
    REIHEN_KERNEL_BODY bool closer(std::size_t i) {
        REIHEN_MAY_FUSE
        take_terms_put_off();
        const double value = approximate_one(anchor_term_, reciprocal_, c_, static_cast<double>(i));
        double own = 0.0;
        if (!look_closer(slice_, first_ + i, value, s_, rules_, units_now(), own)) return false;
        other_units_ += own;
        return true;
    }

    // The units so far, in four totals of whole numbers that are only ever
    // added to (exact, P1), and one of those looked at closer.
    Vec totals_ = {0.0, 0.0, 0.0, 0.0};
    Slice& slice_;
    const std::size_t first_;
    const double anchor_term_;
    const double reciprocal_;  // of the anchor a
    const Binomial& c_;
    const double inside_;
    const double s_;
    const Rules& rules_;
    const double units_before_;
    double other_units_ = 0.0;
    const Cubic y_;
};

// Whether the anchor's indices are walked stretch by stretch: where
// stretches are long, or are placed by the bound and at least a few
// indices long; where the terms never grow, only while every value adds a
// unit or more (so that no value settles the run, P5).
REIHEN_KERNEL_BODY bool walks_anchor(double a, std::size_t count, const Cubic& y, double low,
                                     const Binomial& inverse_series, double s, const Rules& rules) {
    REIHEN_MAY_FUSE
    const double last = static_cast<double>(count) - 1.0;
    const double stretch = static_cast<double>(count) / (std::fabs(y(last) - y.d0) + 1.0);
    return s != 0.0 && std::isfinite(inverse_series[3]) &&
           (!rules.never_grow || low * rules.scale >= 1.0) &&
           (stretch >= rules.shortest_stretch ||
            (stretch >= kShortestPlacedStretch &&
             crossings_placed(a, y, last, inverse_series, rules)));
}

// Classifies the indices a + i, i < count <= reach, of one anchor a (at
// position `first` of the slice) by their approximations
// anchor_term * (1 + x)^-s, x = i / a, within their proven bound (P2),
// adding the certain units to `units`. Returns false where the slice ends
// within them.
REIHEN_KERNEL_BODY bool scan(Slice& slice, std::size_t first, std::size_t count, double anchor_term,
                             const Binomial& c, const Binomial& inverse_series, double s,
                             const Rules& rules, double& units) {
    REIHEN_MAY_FUSE
    const double a = slice.n0 + static_cast<double>(first);
    const double reciprocal = 1.0 / a;
    // The series stays within 2^-11 of 1. Where that keeps every value in
    // range and above the limit, and the scaled values far from the
    // subnormal range, only the rounding is tested lane by lane.
    const double low = anchor_term * (1.0 - 0x1p-11);
    const double high = anchor_term * (1.0 + 0x1p-11);
    if (!(low >= kLowestValue && high <= kHighestValue &&
          low * (1.0 - rules.margin) > rules.limit && high * rules.scale < kTwo51 &&
          low * rules.scale > 0x1p-900)) {
        return classify_one_by_one(slice, first, count, anchor_term, reciprocal, c, s, rules,
                                   units);
    }
    // The value scaled exactly, as a cubic in i (P2).
    const double scaled_anchor = anchor_term * rules.scale;
    const double d1 = scaled_anchor * c[1] * reciprocal;
    const double d2 = scaled_anchor * c[2] * reciprocal * reciprocal;
    const double d3 = scaled_anchor * c[3] * reciprocal * reciprocal * reciprocal;
    // One margin for the whole anchor, that of its largest value: a larger
    // margin than a lane needs only makes it more careful.
    const double inside = 0.5 - rules.margin * (high * rules.scale);
    const Cubic y{scaled_anchor, d1, d2, d3};
    if (walks_anchor(a, count, y, low, inverse_series, s, rules)) {
        walk_anchor(slice, first, count, y, inside, inverse_series, s, rules, units);
        return true;
    }
    IndexScan scan(slice, first, anchor_term, reciprocal, c, y, inside, s, rules, units);
    return scan.run(count, units);
}

REIHEN_WIDE_VECTORS bool scan_wide(Slice& slice, std::size_t first, std::size_t count,
                                   double anchor_term, const Binomial& c,
                                   const Binomial& inverse_series, double s, const Rules& rules,
                                   double& units) {
    return scan(slice, first, count, anchor_term, c, inverse_series, s, rules, units);
}

bool scan_baseline(Slice& slice, std::size_t first, std::size_t count, double anchor_term,
                   const Binomial& c, const Binomial& inverse_series, double s, const Rules& rules,
                   double& units) {
    return scan(slice, first, count, anchor_term, c, inverse_series, s, rules, units);
}

bool scan_anchor(Slice& slice, std::size_t first, std::size_t count, double anchor_term,
                 const Binomial& c, const Binomial& inverse_series, double s, const Rules& rules,
                 double& units) {
    return rules.wide_vectors
               ? scan_wide(slice, first, count, anchor_term, c, inverse_series, s, rules, units)
               : scan_baseline(slice, first, count, anchor_term, c, inverse_series, s, rules,
                               units);
}

// The slice's indices anchor by anchor, their certain units added to
// `units`; false where the slice ends within them. A slice cut short is
// scanned no further.
bool scan_anchors(Slice& slice, double s, const Binomial& c, const Binomial& inverse_series,
                  const Rules& rules, double& units) {
    const std::size_t count = slice.length;
    std::size_t i = 0;
    double derived_term = 0.0;  // the next anchor's, where it was derived
    int derived = 0;            // anchors derived since one was computed
    while (i < count && !slice.cut) {
        const double a = slice.n0 + static_cast<double>(i);
        const double reach = anchor_reach(a, s);
        if (reach < kShortestReach) {
            // No approximation near the start: the term itself is computed.
            put_off(slice, i, units);
            take_put_off(slice, s, rules, units);
            ++i;
            continue;
        }
        const bool computed = derived_term == 0.0;
        const double anchor_term = computed ? series_term(a, s) : derived_term;
        derived = computed ? 0 : derived + 1;
        // The anchor after this one is derived from it where the chain may
        // grow; its offset must then be within the series' proven range,
        // which ends one short of the reach.
        const bool derive_next = derived < kMostDerivedAnchors;
        const std::size_t block = static_cast<std::size_t>(
            std::min(derive_next ? reach - 1.0 : reach, static_cast<double>(count - i)));
        if (!scan_anchor(slice, i, block, anchor_term, c, inverse_series, s, rules, units)) {
            return false;
        }
        i += block;
        derived_term = derive_next ? derived_anchor(anchor_term, a, c, block) : 0.0;
    }
    return true;
}

}  // namespace

void scan_slice(Slice& slice, double s, const Binomial& c, const Binomial& inverse_series,
                const Rules& rules) {
    slice.uncertain.clear();
    slice.put_off.count = 0;
    slice.end = SliceEnd::kOpen;
    slice.cut = false;
    slice.parity_known = false;
    slice.by_index = linear_terms_apply(slice, s, rules);
    double units = 0.0;
    if (slice.by_index) {
        classify_linear_terms(slice, rules, units);
    } else if (!scan_anchors(slice, s, c, inverse_series, rules, units)) {
        return;  // its end set its length and units
    }
    if (!slice.cut) slice.units = units;
}

}  // namespace reihen::engine
