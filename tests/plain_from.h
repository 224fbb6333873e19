// The sum the tests compare the engine with: the engine's own plain loop,
// from a run's first index and start sum on.
#pragma once

#include <cstdint>

#include "series.h"
#include "settings.h"

// The plain loop from the settings' first index and start sum, for `count`
// terms at most: its sum and the index at which it stopped. Past n = 2^53 it
// keeps adding the fixed term, as the loop does.
inline reihen::PlainSum plain_from(double s, double limit,
                                   const reihen::FastSummationSettings& from, std::uint64_t count) {
    const reihen::PlainSum start{from.start_sum, from.first_index};
    if (count == 0) return start;
    std::uint64_t added = 0;
    return reihen::plain_loop(start, s, limit, [&](double, double) { return ++added < count; });
}
