// A piece of a block as one thread scans it, and the indices in it that take
// their computed term.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel_context.h"
#include "lanes.h"
#include "settings.h"
#include "units.h"

namespace reihen::engine {

// An index whose term had to be computed, with the certain units before it.
struct Uncertain {
    std::uint32_t position;
    double units_before;
    double term;
};

// The most terms a slice puts off before it takes them.
constexpr std::size_t kMostPutOff = 1024;

// The indices too close to call, whose terms the kernels put off, each with
// the units of the slice before it that were known when it was put off;
// their terms are computed when they are taken. Kept by columns, so that
// they are divided and classified four at a time (compute_put_off).
struct PutOffTerms {
    std::vector<std::uint32_t> position = std::vector<std::uint32_t>(kMostPutOff);
    std::vector<double> units_before = std::vector<double>(kMostPutOff);
    std::vector<double> term = std::vector<double>(kMostPutOff);
    std::size_t count = 0;
};

enum class SliceEnd { kOpen, kBelowLimit, kSettled };

// What the kernels found in a piece: the one value its scan gives.
struct ScanResult {
    std::size_t length = 0;  // the indices before `end` (all of them where open)
    double units = 0.0;      // exact while below 2^53; more means the binade is left
    std::vector<Uncertain> uncertain;
    SliceEnd end = SliceEnd::kOpen;
    bool cut = false;       // ended early with its list of uncertain indices full
    bool by_index = false;  // classified by the index alone (s = -1, P4c)
};

// A piece as one thread scans it, each thread in a slice of its own: the
// indices n0 .. n0 + length - 1, classified into certain units and
// uncertain terms under one binade's rules, into `result`; and the scan's
// own working state. Each slice has cache lines of its own: threads that
// write neighbouring slices would otherwise slow each other down at every
// write.
struct alignas(64) Slice {
    double n0 = 0.0;
    std::size_t length = 0;
    ScanResult result;
    PutOffTerms put_off;  // room enough, once
    // The list's capacity: a slice that would hold more is cut short there.
    std::size_t most_uncertain = FastSummationSettings{}.most_uncertain;
    // Whether the sum's unit count m is known to be even where the parity
    // of the slice's units was `even_parity`: true from a listed tie on,
    // until a listed term that is no tie (compute_put_off).
    bool parity_known = false;
    std::uint32_t even_parity = 0;
};

// A slice is cut short at the first index whose term it has no room left to
// list: its length and units are then those before that index, and nothing
// the kernels find after it is kept. Cuts are rare, so a kernel does not
// stop at one: the slice's scan ends after the anchor.

// Ends the slice at position i, with `units` before it, where the term there
// is certainly not above the limit or settles the run (P3, P5); a slice cut
// short before keeps its cut.
void end_slice(Slice& slice, std::size_t i, double units, Verdict verdict);

// A kernel puts off the term of an index too close to call by its
// approximation, so that its loop calls nothing and the terms are computed
// one after another, which lets their computations overlap. `before` holds
// the units known before the index, without those of the terms still put
// off. The kernel makes room first (has_room, take_put_off).
[[gnu::always_inline]] inline void put_off(Slice& slice, std::size_t i, double before) {
    PutOffTerms& terms = slice.put_off;
    terms.position[terms.count] = static_cast<std::uint32_t>(i);
    terms.units_before[terms.count] = before;
    ++terms.count;
}

inline bool has_room(const Slice& slice, std::size_t count) {
    return slice.put_off.count + count <= kMostPutOff;
}

// Takes the terms put off, in order, adding the units known of them to
// `units`: compiled for each vector width W.
template <Width W>
void compute_put_off(Slice& slice, const KernelContext& context, double& units);

// The same in the width of the slice's scan, at once where there are none,
// as there mostly are not.
template <Width W>
inline void take_put_off(Slice& slice, const KernelContext& context, double& units) {
    if (slice.put_off.count != 0) compute_put_off<W>(slice, context, units);
}

}  // namespace reihen::engine
