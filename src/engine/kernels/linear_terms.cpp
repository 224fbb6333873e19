#include "linear_terms.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace reihen::engine {

// Where the indices' rounding follows from the index alone (P4c): s = -1,
// a unit of 2 or more, the margin times the last index below 1 and the
// first term above the limit; n < 2^38 keeps 1/n and n far inside the
// normal range, and u <= 2^40 the positions within whole numbers of 64
// bits.
bool linear_terms_apply(const Slice& slice, const KernelContext& context) {
    const Rules& rules = context.rules;
    const double last = slice.n0 + static_cast<double>(slice.length) - 1.0;
    return context.s == -1.0 && rules.scale >= 0x1p-40 && rules.scale <= 0.5 && last < 0x1p38 &&
           rules.margin * last < 1.0 && slice.n0 * (1.0 - rules.margin) > rules.limit;
}

// The indices from n0 up to the first tie add k units each, and the u - 1
// indices after each tie t_k add k + 1 each (P4c), in whole numbers (P1).
// Each tie takes only a few additions here; its term is computed with the
// others put off (P7).
void classify_linear_terms(Slice& slice, const KernelContext& context, double& units) {
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
        if (!has_room(slice, 1)) take_put_off(slice, context, units);
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
    take_put_off(slice, context, units);
}

}  // namespace reihen::engine
