#include "slice.h"

#include <cmath>
#include <cstdint>
#include <span>

#include "plain_summation.h"

namespace reihen::engine {

bool cut_if_full(Slice& slice, std::size_t i, double units) {
    if (slice.uncertain.size() < kMostUncertain) return false;
    slice.cut = true;
    slice.length = i;
    slice.units = units;
    return true;
}

namespace {

// Lists a term to be added in order; whether the sum's unit count is even
// after it is known where it is a tie within the binade.
bool list_term(Slice& slice, std::size_t i, double term, double before, bool tie_with_parity) {
    if (cut_if_full(slice, i, before)) return false;
    slice.uncertain.push_back({static_cast<std::uint32_t>(i), before, term});
    slice.parity_known = tie_with_parity;
    slice.even_at = before;
    return true;
}

}  // namespace

// A computed term's units are known where it lies above the limit and is
// no tie (point 1 with the term itself, whose scaling is exact, or far
// below 1/2 where it is not), except that a term below half a unit does not
// end a run (point 5 needs the margin). So are those of a tie where the
// parity of the sum's unit count is known within the slice. Any other term
// is listed, to be added in order.
//
// Ties within one binade. A tie t/u = k + 1/2 added to m units rounds
// m + k + 1/2 to the even neighbour: it adds k + 1 where m + k is odd and k
// where it is even, and leaves m even. So once one tie of the slice has been
// listed (the main thread adds it in order, and m is even after it), the
// parity of m at any later index is that of the units added since, and
// every later tie is resolved here, until a listed term that is no tie
// makes the parity unknown again. Where the sum leaves its binade within
// the slice, the main thread takes the rest again step by step
// (add_slice_slowly), so the binade's rule only has to hold where it is
// used.
//
// The units since the last tie do not include a tie's own, so below they
// are counted without them: `even_at` and `before` both leave out the
// units of the ties resolved here, and no tie waits for the one before it.
bool settle_put_off(Slice& slice, double s, const Rules& rules, double& units) {
    const std::span<PutOff> terms(slice.put_off.data(), slice.put_off_count);
    slice.put_off_count = 0;
    for (PutOff& index : terms) {
        index.term = series_term(slice.n0 + static_cast<double>(index.position), s);
    }
    double other_units = 0.0;  // those of the terms that are no ties
    double tie_units = 0.0;
    double even_at = slice.even_at;
    for (const PutOff& index : terms) {
        const double term = index.term;
        // Exact, as the scale is a power of two, except where y is
        // subnormal: then q is 0 and there is no tie.
        const double y = term * rules.scale;
        const double q = (y + kTwo52) - kTwo52;
        const bool tie = std::fabs(y - q) == 0.5;
        const bool in_binade = rules.scale != 0.0 && y < kTwo51;
        const double before = index.units_before + other_units;
        const bool known = term > rules.limit && in_binade && !(q == 0.0 && rules.never_grow) &&
                           (!tie || slice.parity_known);
        if (!known) {
            if (!list_term(slice, index.position, term, before + tie_units, tie && in_binade)) {
                return false;
            }
            even_at = before;
            continue;
        }
        // Where it is a tie, y = k + 1/2 exactly and the parity is known.
        // Whole numbers below 2^53, so the conversions are exact; the units
        // only grow, so the difference is not negative. No branch on
        // whether it is a tie or on its parity: either is a coin toss to
        // the branch predictor.
        const double k = tie ? y - 0.5 : 0.0;
        const auto since = static_cast<std::uint64_t>(tie ? before - even_at : 0.0);
        const auto odd = (since + static_cast<std::uint64_t>(k)) & 1U;
        other_units += tie ? 0.0 : q;
        tie_units += tie ? k + static_cast<double>(odd) : 0.0;
        even_at = tie ? before : even_at;
    }
    slice.even_at = even_at + tie_units;
    units += other_units + tie_units;
    return true;
}

}  // namespace reihen::engine
