#include "stretch_walk.h"

#include <cmath>

#include "last_holding.h"

namespace reihen::engine {

double stretch_end(const Cubic& y, double inside, double q, double p, double guess, double last) {
    return last_holding(p, guess, last, [&](double i) { return std::fabs(y(i) - q) < inside; });
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
