#include "stretch_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace reihen::engine {

// Forward from the guess by doubling steps while it holds, back from it
// while it does not, then by bisection.
double stretch_end(const Cubic& y, double inside, double q, double p, double guess, double last) {
    const auto holds = [&](double i) { return std::fabs(y(i) - q) < inside; };
    double good = p;
    double bad = last + 1.0;  // the first offset known not to hold, or past the end
    const double start = guess >= p ? std::min(guess, last) : p;  // also where it is NaN
    if (holds(start)) {
        good = start;
        double step = 1.0;
        while (good < last) {
            const double next = std::min(good + step, last);
            if (!holds(next)) {
                bad = next;
                break;
            }
            good = next;
            step *= 2.0;
        }
    } else {
        bad = start;
        double step = 1.0;
        while (bad - step > good) {
            const double next = bad - step;
            if (holds(next)) {
                good = next;
                break;
            }
            bad = next;
            step *= 2.0;
        }
    }
    while (bad - good > 1.0) {
        const double middle = std::floor(good + (bad - good) / 2.0);
        (holds(middle) ? good : bad) = middle;
    }
    return good;
}

// E for the levels h with |R - 1| <= rho, R = h / d0, where the bound
// holds (P4b).
CrossingBound crossing_bound(double a, const Cubic& y, double last, const Binomial& inverse_series,
                             double margin) {
    const double alpha = std::fabs(inverse_series[1]);
    // The levels of the anchor's crossings (P4b).
    const double levels = std::fabs(y(last) - y.d0) + 2.0;
    const double rho = levels / y.d0 * (1.0 + 0x1p-20) + 0x1p-51;
    const double b4 = alpha * (alpha + 1.0) * (alpha + 2.0) * (alpha + 3.0) / 24.0;
    const double places = 1.125 * a * (alpha * margin + b4 * (rho * rho) * (rho * rho)) + 0x1p-53;
    const bool usable =
        (alpha + 4.0) * rho <= 0x1p-8 && alpha * margin <= 0x1p-20 && places <= 0x1p-6;
    return {usable, levels, 0.5 - places};
}

}  // namespace reihen::engine
