#include "linear_terms.h"

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

}  // namespace reihen::engine
