#include "slice.h"

#include <cmath>
#include <cstdint>

#include "plain_summation.h"

namespace reihen::engine {

bool cut_if_full(Slice& slice, std::size_t i, double units) {
    if (slice.uncertain.size() < kMostUncertain) return false;
    slice.cut = true;
    slice.length = i;
    slice.units = units;
    return true;
}

// Ties within one binade. A tie t/u = k + 1/2 added to m units rounds
// m + k + 1/2 to the even neighbour: it adds k + 1 where m + k is odd and k
// where it is even, and leaves m even. So once one tie of the slice has been
// listed (the main thread adds it in order, and m is even after it), the
// parity of m at any later index is that of the certain units added since,
// and every later tie is resolved here, until a listed term that is no tie
// makes the parity unknown again. Where the sum leaves its binade within
// the slice, the main thread takes the rest again step by step
// (add_slice_slowly), so the binade's rule only has to hold where it is
// used.
bool take_term(Slice& slice, std::size_t i, double s, const Rules& rules, double before,
               double& units) {
    const double term = series_term(slice.n0 + static_cast<double>(i), s);
    const double y = term * rules.scale;
    const double q = (y + kTwo52) - kTwo52;
    const bool tie = std::fabs(y - q) == 0.5;
    units = 0.0;
    if (term > rules.limit && rules.scale != 0.0 && y < kTwo51 && !(q == 0.0 && rules.never_grow)) {
        if (!tie) {
            units = q;
            return true;
        }
        if (slice.parity_known) {
            // Whole numbers below 2^53, so the conversions are exact; the
            // units only grow, so the difference is not negative.
            const double k = std::floor(y);
            const auto since = static_cast<std::uint64_t>(before - slice.even_at);
            const bool odd = ((since + static_cast<std::uint64_t>(k)) & 1U) != 0;
            units = odd ? k + 1.0 : k;
            slice.even_at = before + units;
            return true;
        }
    }
    if (cut_if_full(slice, i, before)) return false;
    slice.uncertain.push_back({static_cast<std::uint32_t>(i), before, term});
    slice.parity_known = tie && rules.scale != 0.0 && y < kTwo51;
    slice.even_at = before;
    return true;
}

}  // namespace reihen::engine
