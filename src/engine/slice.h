// One thread's share of a block, and the indices in it that take their
// computed term.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "plain_summation.h"
#include "units.h"

namespace reihen::engine {

// An index whose term had to be computed, with the certain units before it.
struct Uncertain {
    std::uint32_t position;
    double units_before;
    double term;
};

enum class SliceEnd { kOpen, kBelowLimit, kSettled };

// One thread's share of a block: the indices n0 .. n0 + length - 1, sorted
// into certain units and uncertain terms under one binade's rules. Each
// slice has cache lines of its own: threads that write neighbouring slices
// would otherwise slow each other down at every write.
struct alignas(64) Slice {
    double n0 = 0.0;
    std::size_t length = 0;  // indices before `end` (all of them when open)
    double units = 0.0;      // exact while below 2^53; more means the binade is left
    double even_at = 0.0;    // see parity_known
    std::vector<Uncertain> uncertain;
    SliceEnd end = SliceEnd::kOpen;
    bool cut = false;  // ended early with its list of uncertain indices full
    // Whether the sum's unit count m is known to be even where the slice's
    // units reached `even_at`: true from a listed tie on, until a listed
    // term that is no tie (take_term).
    bool parity_known = false;
};

// The most uncertain indices one slice holds: a slice that would hold more
// is cut short there, which bounds its memory.
constexpr std::size_t kMostUncertain = 1 << 17;

// Cuts the slice short at position i, with `units` before it, if its list
// of uncertain indices is full.
bool cut_if_full(Slice& slice, std::size_t i, double units);

// Lists the term of index i, with the units before it, to be added in
// order; whether the sum's unit count is even after it is known where it is
// a tie within the binade. Returns false where the slice is cut short
// before it.
bool list_term(Slice& slice, std::size_t i, double term, double before, bool tie_with_parity);

// An index too close to call by its approximation takes its computed term.
// Its units are still known where that term lies above the limit and is no
// tie (point 1 with the term itself, whose scaling is exact, or far below
// 1/2 where it is not), except that a term below half a unit does not end
// a run (point 5 needs the margin). So are those of a tie where the parity
// of the sum's unit count is known within the slice. Any other term is
// listed, to be added in order. Returns false where the slice is cut short
// before it. Inline, as the kernels call it for every tie: out of line, the
// call cost more than the work.
//
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
inline bool take_term(Slice& slice, std::size_t i, double s, const Rules& rules, double before,
                      double& units) {
    const double term = series_term(slice.n0 + static_cast<double>(i), s);
    // Exact, as the scale is a power of two, except where y is subnormal:
    // then q is 0 and there is no tie, fused with the sum below or not.
    const double y = term * rules.scale;
    const double q = (y + kTwo52) - kTwo52;
    const bool tie = std::fabs(y - q) == 0.5;
    const bool in_binade = rules.scale != 0.0 && y < kTwo51;
    units = 0.0;
    if (term > rules.limit && in_binade && !(q == 0.0 && rules.never_grow)) {
        if (!tie) {
            units = q;
            return true;
        }
        if (slice.parity_known) {
            // y = k + 1/2 exactly. Whole numbers below 2^53, so the
            // conversions are exact; the units only grow, so the difference
            // is not negative. No branch on the parity: which way a tie goes
            // is a coin toss to the branch predictor.
            const double k = y - 0.5;
            const auto since = static_cast<std::uint64_t>(before - slice.even_at);
            const auto odd = (since + static_cast<std::uint64_t>(k)) & 1U;
            units = k + static_cast<double>(odd);
            slice.even_at = before + units;
            return true;
        }
    }
    return list_term(slice, i, term, before, tie && in_binade);
}

}  // namespace reihen::engine
