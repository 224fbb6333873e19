#include "block_scan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "anchor_units.h"
#include "lanes.h"
#include "linear_terms.h"
#include "series.h"
#include "stretch_walk.h"

namespace reihen::engine {
namespace {

// Classifies one index that no group-wide test classified; `before` holds the units
// of the slice before it, with no term put off, `units` receives its own.
// Returns false where the slice ends before it.
template <Width W>
REIHEN_KERNEL_BODY bool look_closer(Slice& slice, const KernelContext& context, std::size_t i,
                                    double value, double before, double& units) {
    const Classified verdict = classify(value, context.rules);
    if (verdict.verdict == Verdict::kUnits) {
        units = verdict.units;
        return true;
    }
    if (verdict.verdict == Verdict::kUncertain) {
        put_off(slice, i, before);
        take_put_off<W>(slice, context, units);
        return true;
    }
    end_slice(slice, i, before, verdict.verdict);
    return false;
}

constexpr std::size_t kStep = kGroups * kLanes;

// Each index by its own approximation, looked at closer: where the values
// may leave the range in which the vector test holds. Scalar steps, out of
// the scans' loops, compiled for the baseline in either width; the terms
// they put off are taken in the slice's.
template <Width W>
[[gnu::noinline]] bool classify_one_by_one(Slice& slice, const KernelContext& context,
                                           const Anchor& anchor, double& units) {
    const double reciprocal = 1.0 / anchor.a;
    for (std::size_t i = 0; i < anchor.count; ++i) {
        const double value =
            approximate_one(anchor.term, reciprocal, context.c, static_cast<double>(i));
        double own = 0.0;
        if (!look_closer<W>(slice, context, anchor.first + i, value, units, own)) return false;
        units += own;
    }
    return true;
}

// The indices of one anchor, sixteen at a time by the cubic y in the
// offset: the units of each, and whether each is certain, lying `inside`
// the interval of its q (P3). Their units are added up as they come; only
// where some lane is not certain are they classified again, lane by lane
// (which keeps the common case in registers).
template <Width W>
class IndexScan : AnchorUnits<W> {
    using Units = AnchorUnits<W>;
    using Units::anchor_;
    using Units::context_;
    using Units::make_room;
    using Units::other_units_;
    using Units::put_off_at;
    using Units::slice_;
    using Units::take_terms_put_off;
    using Units::totals_;
    using Units::units_now;

public:
    REIHEN_KERNEL_BODY IndexScan(Slice& slice, const KernelContext& context, const Anchor& anchor,
                                 const Cubic& y, double inside, double units_before)
        : Units(slice, context, anchor, units_before),
          reciprocal_(1.0 / anchor.a),
          inside_(inside),
          y_(y) {}

    // Adds the units of the anchor's indices to `units`; false where the
    // slice ends within them.
    REIHEN_KERNEL_BODY bool run(double& units) {
        REIHEN_MAY_FUSE
        const Vec lanes = {0.0, 1.0, 2.0, 3.0};
        const Vec zero = {0.0, 0.0, 0.0, 0.0};
        const bool never_grow = context_.rules.never_grow;
        const std::size_t count = anchor_.count;
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
            if (all_lanes(all) && (!never_grow || q_last[kLanes - 1] != 0.0)) {
                totals_ += step_units;
                continue;
            }
            if (!never_grow) {
                put_off_uncertain(i, first_lanes);
            } else if (!look_closer_at_each(i, first_lanes)) {
                return false;
            }
        }
        for (; i < count; ++i) {
            if (!closer(i)) return false;
        }
        take_terms_put_off();
        units += this->units();
        return true;
    }

private:
    // The scaled values of four indices from `at` on, their units q and
    // whether each is certain.
    REIHEN_KERNEL_BODY void classify_group(const Vec& at, Vec& q, Mask& certain) const {
        REIHEN_MAY_FUSE
        const Vec y = y_(at);
        q = round_to_whole(y);
        certain = magnitude(y - q) < inside_;
    }

    // Growing terms, where some lane of the sixteen from i is not certain:
    // every value lies above the limit here, so that an uncertain lane's
    // term is put off, and only its units before it are needed: those of
    // the certain lanes before it, added up within the vector (lane j of
    // `upto` holds lanes 0 .. j, and an uncertain lane adds none of its
    // own). Room for all sixteen is made first.
    REIHEN_KERNEL_BODY void put_off_uncertain(std::size_t i, const Vec& first_lanes) {
        REIHEN_MAY_FUSE
        make_room(kStep);
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
                put_off_at(i + g * kLanes + lane, group_start + upto[lane]);
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
        const double value =
            approximate_one(anchor_.term, reciprocal_, context_.c, static_cast<double>(i));
        double own = 0.0;
        if (!look_closer<W>(slice_, context_, anchor_.first + i, value, units_now(), own)) {
            return false;
        }
        other_units_ += own;
        return true;
    }

    const double reciprocal_;  // of the anchor a
    const double inside_;
    const Cubic y_;
};

// Whether the anchor's indices are walked stretch by stretch: where
// stretches are long, or are placed by the bound and at least a few
// indices long; where the terms never grow, only while every value adds a
// unit or more (so that no value settles the run, P5).
REIHEN_KERNEL_BODY bool walks_anchor(const KernelContext& context, const Anchor& anchor,
                                     const Cubic& y, double low) {
    REIHEN_MAY_FUSE
    const Rules& rules = context.rules;
    const double last = static_cast<double>(anchor.count) - 1.0;
    const double stretch = static_cast<double>(anchor.count) / (std::fabs(y(last) - y.d0) + 1.0);
    return context.s != 0.0 && std::isfinite(context.inverse_series[3]) &&
           (!rules.never_grow || low * rules.scale >= 1.0) &&
           (stretch >= rules.shortest_stretch ||
            (stretch >= kShortestPlacedStretch && crossings_placed(context, anchor, y, last)));
}

// Classifies the indices a + i, i < count <= reach, of one anchor by their
// approximations term * (1 + x)^-s, x = i / a, within their proven bound
// (P2), adding the certain units to `units`. Returns false where the slice
// ends within them.
template <Width W>
REIHEN_KERNEL_BODY bool scan_anchor(Slice& slice, const KernelContext& context,
                                    const Anchor& anchor, double& units) {
    REIHEN_MAY_FUSE
    const Rules& rules = context.rules;
    const Binomial& c = context.c;
    const double reciprocal = 1.0 / anchor.a;
    // The series stays within 2^-11 of 1. Where that keeps every value in
    // range and above the limit, and the scaled values far from the
    // subnormal range, only the rounding is tested lane by lane.
    const double low = anchor.term * (1.0 - 0x1p-11);
    const double high = anchor.term * (1.0 + 0x1p-11);
    if (!(low >= kLowestValue && high <= kHighestValue &&
          low * (1.0 - rules.margin) > rules.limit && high * rules.scale < kTwo51 &&
          low * rules.scale > 0x1p-900)) {
        return classify_one_by_one<W>(slice, context, anchor, units);
    }
    // The value scaled exactly, as a cubic in i (P2).
    const double scaled_anchor = anchor.term * rules.scale;
    const double d1 = scaled_anchor * c[1] * reciprocal;
    const double d2 = scaled_anchor * c[2] * reciprocal * reciprocal;
    const double d3 = scaled_anchor * c[3] * reciprocal * reciprocal * reciprocal;
    // One margin for the whole anchor, that of its largest value: a larger
    // margin than a lane needs only makes it more careful.
    const double inside = 0.5 - rules.margin * (high * rules.scale);
    const Cubic y{scaled_anchor, d1, d2, d3};
    if (walks_anchor(context, anchor, y, low)) {
        AnchorWalk<W> walk(slice, context, anchor, y, inside, units);
        walk.run(units);
        return true;
    }
    IndexScan<W> indices(slice, context, anchor, y, inside, units);
    return indices.run(units);
}

// The slice's indices anchor by anchor, their certain units added to
// `units`; false where the slice ends within them. A slice cut short is
// scanned no further.
template <Width W>
REIHEN_KERNEL_BODY bool scan_anchors(Slice& slice, const KernelContext& context, double& units) {
    const double s = context.s;
    const std::size_t count = slice.length;
    std::size_t i = 0;
    double derived_term = 0.0;  // the next anchor's, where it was derived
    int derived = 0;            // anchors derived since one was computed
    while (i < count && !slice.result.cut) {
        const double a = slice.n0 + static_cast<double>(i);
        const double reach = anchor_reach(a, s);
        if (reach < kShortestReach) {
            // No approximation near the start: the term itself is computed.
            put_off(slice, i, units);
            take_put_off<W>(slice, context, units);
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
        const Anchor anchor{a, i, block, anchor_term};
        if (!scan_anchor<W>(slice, context, anchor, units)) return false;
        i += block;
        derived_term = derive_next ? derived_anchor(anchor_term, a, context.c, block) : 0.0;
    }
    return true;
}

// The whole slice: by the index alone where the terms of s = -1 allow it
// (P4c), else anchor by anchor.
template <Width W>
REIHEN_KERNEL_BODY void scan(Slice& slice, const KernelContext& context) {
    ScanResult& result = slice.result;
    result.uncertain.clear();
    result.length = slice.length;
    result.end = SliceEnd::kOpen;
    result.cut = false;
    result.by_index = linear_terms_apply(slice, context);
    slice.put_off.count = 0;
    slice.parity_known = false;
    double units = 0.0;
    if (result.by_index) {
        classify_linear_terms<W>(slice, context, units);
    } else if (!scan_anchors<W>(slice, context, units)) {
        return;  // its end set its length and units
    }
    if (!result.cut) result.units = units;
}

REIHEN_WIDE_VECTORS void scan_wide(Slice& slice, const KernelContext& context) {
    scan<Width::kWide>(slice, context);
}

void scan_baseline(Slice& slice, const KernelContext& context) {
    scan<Width::kBaseline>(slice, context);
}

}  // namespace

void scan_slice(Slice& slice, const KernelContext& context, Width width) {
    if (width == Width::kWide) {
        scan_wide(slice, context);
    } else {
        scan_baseline(slice, context);
    }
}

}  // namespace reihen::engine
