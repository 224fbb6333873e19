#include "slice.h"

#include <cstdint>

namespace reihen::engine {

bool cut_if_full(Slice& slice, std::size_t i, double units) {
    if (slice.uncertain.size() < kMostUncertain) return false;
    slice.cut = true;
    slice.length = i;
    slice.units = units;
    return true;
}

bool list_term(Slice& slice, std::size_t i, double term, double before, bool tie_with_parity) {
    if (cut_if_full(slice, i, before)) return false;
    slice.uncertain.push_back({static_cast<std::uint32_t>(i), before, term});
    slice.parity_known = tie_with_parity;
    slice.even_at = before;
    return true;
}

}  // namespace reihen::engine
