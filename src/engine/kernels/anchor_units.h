// What the two kernels of one anchor share: the units of its indices so
// far, and the terms they put off.
#pragma once

#include <cstddef>

#include "kernel_context.h"
#include "lanes.h"
#include "slice.h"

namespace reihen::engine {

// The units so far, in four totals of whole numbers that are only ever
// added to (exact, P1), and one of those added one index or one stretch at
// a time; the units the slice held before the anchor; and the terms too
// close to call, put off to be computed together (P7), in the width W.
template <Width W>
class AnchorUnits {
protected:
    REIHEN_KERNEL_BODY AnchorUnits(Slice& slice, const KernelContext& context, const Anchor& anchor,
                                   double units_before)
        : slice_(slice), context_(context), anchor_(anchor), units_before_(units_before) {}

    // The units of the anchor's indices.
    double units() const { return lane_sum(totals_) + other_units_; }
    // And with those before the anchor, for a term put off now.
    double units_now() const { return units_before_ + units(); }

    // The term of offset i put off, with the units before it.
    [[gnu::always_inline]] void put_off_at(std::size_t i, double before) {
        put_off(slice_, anchor_.first + i, before);
    }

    // Room for `count` more terms put off.
    void make_room(std::size_t count) {
        if (!has_room(slice_, count)) take_terms_put_off();
    }

    // The terms put off so far, taken and their units added. What the call
    // adds goes through a variable of its own, so that no address of this
    // object escapes and its totals stay in registers.
    void take_terms_put_off() {
        double taken = 0.0;
        take_put_off<W>(slice_, context_, taken);
        other_units_ += taken;
    }

    Vec totals_ = {0.0, 0.0, 0.0, 0.0};
    double other_units_ = 0.0;
    Slice& slice_;
    const KernelContext& context_;
    const Anchor& anchor_;
    const double units_before_;
};

}  // namespace reihen::engine
