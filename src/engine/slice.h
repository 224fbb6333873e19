// One thread's share of a block, and the indices in it that take their
// computed term.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// An index too close to call by its approximation takes its computed term.
// Its units are still known where that term lies above the limit and is no
// tie (point 1 with the term itself, whose scaling is exact, or far below
// 1/2 where it is not), except that a term below half a unit does not end
// a run (point 5 needs the margin). So are those of a tie where the parity
// of the sum's unit count is known within the slice. Any other term is
// kept, to be added in order. Returns false where the slice is cut short
// before it.
bool take_term(Slice& slice, std::size_t i, double s, const Rules& rules, double before,
               double& units);

}  // namespace reihen::engine
