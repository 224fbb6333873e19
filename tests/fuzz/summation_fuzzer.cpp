// Runs the fast summation under random exponents, limits and rules against
// the plain loop, bit for bit, for up to about two million terms: the input
// is s and G as two doubles, then the margin's exponent, the stretch rules
// and the threads, and the number of terms after which the run is stopped; two more bytes,
// where given, start the run far out, with a sum large against its terms,
// and one more makes s a whole negative number.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../plain_from.h"
#include "../stop_after.h"
#include "fast_summation.h"
#include "power.h"
#include "series.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 20) return 0;
    double s = 0.0;
    double g = 0.0;
    std::memcpy(&s, data, sizeof s);
    std::memcpy(&g, data + 8, sizeof g);
    if (!std::isfinite(s) || !std::isfinite(g)) return 0;
    // Whole negative exponents, whose terms are whole numbers with many ties.
    if (size >= 23 && data[22] % 2 == 1) s = -static_cast<double>(1 + data[22] / 2 % 8);
    reihen::FastSummationSettings settings;
    settings.margin = std::ldexp(1.0, -8 - data[16] % 31);  // down to the default
    settings.shortest_stretch = data[17] % 2 == 0 ? 1.0 : 4.0;
    settings.stretches_per_anchor = data[17] / 2 % 2 == 0 ? 4.0 : 1e300;
    settings.threads = 1 + data[17] / 4 % 3;
    settings.threads_on_demand = false;
    if (size >= 22 && data[20] % 2 == 1) {
        settings.first_index = std::ldexp(1.0, 16 + data[20] / 2 % 36) + data[21];
        settings.start_sum =
            reihen::series_term(settings.first_index, s) * std::ldexp(1.0, 52 - data[21] % 48);
    }
    const std::uint64_t terms = 1 + (data[18] | data[19] << 8) * std::uint64_t{32};
    const double limit = reihen::power(10.0, g);
    StopAfter monitor(terms);
    const double sum = reihen::sum_series_fast(s, limit, monitor, settings);
    // Runs whose stretches went far past the stop are beyond the plain loop.
    if (monitor.terms_ > 4 * terms + 1'000'000) return 0;
    const double expected = plain_from(s, limit, settings, monitor.terms_).sum;
    if (std::memcmp(&sum, &expected, sizeof sum) != 0 || sum != monitor.sum_) std::abort();
    return 0;
}
