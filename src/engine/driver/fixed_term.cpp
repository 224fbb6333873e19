#include "fixed_term.h"

#include <algorithm>
#include <cstdint>

#include "kernels/units.h"

namespace reihen {

using engine::kTopUnits;
using engine::unit_scale;

// Binade by binade: two computed steps give the units of every step after
// them within the binade, and the rest of it is crossed at once (P6); its
// edges, and terms large against the sum, go step by step.
double add_repeatedly(double sum, double term, double times, std::uint64_t* binades) {
    while (times > 0.0) {
        const double first = sum + term;
        if (first == sum) return sum;  // the same addition, for ever, also once infinite
        if (times < 2.0) return first;
        const double second = first + term;
        if (second == first) return first;  // a tie rounded up to an even sum
        const double scale = unit_scale(sum);
        if (scale == 0.0 || term * scale >= 0x1p50 || unit_scale(first) != scale ||
            unit_scale(second) != scale) {
            sum = first;
            times -= 1.0;
            continue;
        }
        const auto d = static_cast<std::uint64_t>((second - first) * scale);
        const auto m = static_cast<std::uint64_t>(second * scale);
        const std::uint64_t room = (kTopUnits - 1 - m) / d;  // steps left in the binade
        const double steps = std::min(static_cast<double>(room), times - 2.0);
        sum = second + steps * static_cast<double>(d) / scale;
        times -= steps + 2.0;
        if (binades != nullptr) ++*binades;
    }
    return sum;
}

}  // namespace reihen
