// The terms of s = -1, which are the indices themselves: where a unit of
// the sum spans two indices or more, the rounding of every index's term is
// known from the index alone, but for the ties halfway between.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kernel_context.h"
#include "lanes.h"
#include "slice.h"

namespace reihen::engine {

// Whether classify_linear_terms serves the slice in this context.
bool linear_terms_apply(const Slice& slice, const KernelContext& context);

// Classifies the slice's indices into certain units, added to `units`, and
// terms put off, for s = -1 where linear_terms_apply holds, in the width W:
// the indices from n0 up to the first tie add k units each, and the u - 1
// indices after each tie t_k add k + 1 each (P4c), in whole numbers (P1).
// Each tie takes only a few additions here; its term is computed with the
// others put off (P7), in the slice's width. Scalar steps, out of the
// scans' loops, compiled for the baseline in either width.
template <Width W>
[[gnu::noinline]] void classify_linear_terms(Slice& slice, const KernelContext& context,
                                             double& units) {
    const Rules& rules = context.rules;
    const double n0 = slice.n0;
    const double u = 1.0 / rules.scale;
    const double k = std::ceil((n0 - 0.5 * u) * rules.scale);
    const double first_tie = k * u + 0.5 * u;
    const double end = n0 + static_cast<double>(slice.length);
    units += (std::min(first_tie, end) - n0) * k;
    // Positions in the slice as whole numbers, below 2^31 + 2^40.
    const auto length = static_cast<std::int64_t>(slice.length);
    const auto period = static_cast<std::int64_t>(u);
    auto position = static_cast<std::int64_t>(first_tie - n0);
    double next_units = k + 1.0;  // those of each index after the next tie
    while (position < length) {
        if (!has_room(slice, 1)) take_put_off<W>(slice, context, units);
        // As many ties as there is room for, kept in registers meanwhile.
        PutOffTerms& terms = slice.put_off;
        std::size_t count = terms.count;
        double known = units;
        for (; count < kMostPutOff && position < length; ++count) {
            terms.position[count] = static_cast<std::uint32_t>(position);
            terms.units_before[count] = known;
            const std::int64_t after = std::min(period, length - position) - 1;
            known += static_cast<double>(after) * next_units;
            next_units += 1.0;
            position += period;
        }
        terms.count = count;
        units = known;
    }
    take_put_off<W>(slice, context, units);
}

}  // namespace reihen::engine
