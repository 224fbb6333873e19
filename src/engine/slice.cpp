#include "slice.h"

#include <cmath>

#include "plain_summation.h"

namespace reihen::engine {

bool cut_if_full(Slice& slice, std::size_t i, double units) {
    if (slice.uncertain.size() < kMostUncertain) return false;
    slice.cut = true;
    slice.length = i;
    slice.units = units;
    return true;
}

bool take_term(Slice& slice, std::size_t i, double s, const Rules& rules, double before,
               double& units) {
    const double term = series_term(slice.n0 + static_cast<double>(i), s);
    const double y = term * rules.scale;
    const double q = (y + kTwo52) - kTwo52;
    units = 0.0;
    if (term > rules.limit && rules.scale != 0.0 && y < kTwo51 && std::fabs(y - q) != 0.5 &&
        !(q == 0.0 && rules.never_grow)) {
        units = q;
        return true;
    }
    if (cut_if_full(slice, i, before)) return false;
    slice.uncertain.push_back({static_cast<std::uint32_t>(i), before, term});
    return true;
}

}  // namespace reihen::engine
