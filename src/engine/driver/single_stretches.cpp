#include "single_stretches.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kernels/last_holding.h"
#include "power.h"
#include "series.h"

namespace reihen::engine {

// An approximation to T(at) by P2, from the anchor that serves `at`, or
// from a new one there; 0.0 where `at` gets none.
inline double SingleStretches::approximation(double at) {
    if (!(at >= anchor_ && at < anchor_end_)) {
        anchor_ = at;
        anchor_reciprocal_ = 1.0 / at;
        const double s = run_.parameters().s;
        anchor_end_ = at + anchor_reach(at, s);
        anchor_term_ = series_term(at, s);
        if (anchor_end_ - at < kShortestReach ||
            !(anchor_term_ >= kLowestValue && anchor_term_ <= kHighestValue)) {
            anchor_end_ = at;  // none here
            return 0.0;
        }
    }
    return approximate_one(anchor_term_, anchor_reciprocal_, run_.parameters().coefficients,
                           at - anchor_);
}

// Whether y_a and y_b (scaled terms) both lie e = margin * max inside the
// interval of q, as the ends of a stretch must (P4).
inline bool SingleStretches::both_inside(double y_a, double y_b, double q, double margin) {
    const double e = margin * std::max(y_a, y_b);
    return std::fabs(y_a - q) + e < 0.5 && std::fabs(y_b - q) + e < 0.5;
}

// The last index whose units q keep the sum of m units in its binade, the
// last one before the fixed term, and the bound: the least of them.
inline double SingleStretches::last_in_binade(double q, double m, double bound) const {
    double last = std::min(kTwo53 - 1.0, bound);
    if (q > 0.0) {
        const std::uint64_t room =
            (kTopUnits - 1 - static_cast<std::uint64_t>(m)) / static_cast<std::uint64_t>(q);
        last = std::min(last, run_.n() + static_cast<double>(room) - 1.0);
    }
    return last;
}

// Where q should change, from n^-s = value solved for n; only a guess,
// checked by computing the term there. A little short of the place where
// the margin would no longer hold, so that the guess usually holds.
inline double SingleStretches::predicted_end(double q, double y_a, const Rules& now) const {
    const double s = run_.parameters().s;
    const double n = run_.n();
    const double margin = now.margin;
    if (s == 0.0) return kTwo53;
    const double e = 2.0 * margin * y_a;
    double y_end = s > 0.0 ? q - 0.5 + e : q + 0.5 - e;
    if (s > 0.0) y_end = std::max(y_end, now.limit * (1.0 + 4.0 * margin) * now.scale);
    // n_end = n (1 + r)^k with 1 + r = y_end / y_a and k = -1/s; by the
    // binomial series to third order where r is small, by pow elsewhere.
    const double r = y_end / y_a - 1.0;
    const double k = -1.0 / s;
    const double end =
        std::fabs(r) < 0x1p-12
            ? std::floor(n +
                         n * (r * k * (1.0 + r * (k - 1.0) / 2.0 * (1.0 + r * (k - 2.0) / 3.0))))
            : std::floor(n * power(1.0 + r, k));
    return end >= n ? end : n;  // also where the guess is NaN
}

bool SingleStretches::step(double bound, double shortest) {
    const Rules now = run_.rules();
    const double value = approximation(run_.n());
    const Classified start = classify(value, now);
    if (start.verdict == Verdict::kBelowLimit || start.verdict == Verdict::kSettled) {
        run_.end();
        return false;
    }
    const double q = start.units;
    const double m = run_.sum() * now.scale;
    if (start.verdict != Verdict::kUnits || m + q >= kTwo53) {
        ++single_indices_;
        run_.plain_step(series_term(run_.n(), run_.parameters().s));
        return true;
    }
    const double y_a = value * now.scale;
    if (schedule_.stretch_length(run_.n(), y_a) < shortest) {
        ++single_indices_;
        run_.add_certain(q, 1.0, now.scale);  // below 2^53 units, as m + q is
        return false;
    }
    ++stretches_;
    const auto holds = [&](double b) {
        const double value_b = approximation(b);
        const Classified end = classify(value_b, now);
        return end.verdict == Verdict::kUnits && end.units == q &&
               both_inside(y_a, value_b * now.scale, q, now.margin);
    };
    // The prediction is checked where it lies past n, which holds by
    // construction, and where it overshot, the last index that holds is
    // searched for back from it.
    const double predicted = std::min(predicted_end(q, y_a, now), last_in_binade(q, m, bound));
    const double b = last_holding(run_.n(), predicted, predicted, holds);
    if (b < predicted) ++overshot_;
    const double count = b - run_.n() + 1.0;
    run_.add_certain(count * q, count, now.scale);  // below 2^53 units by last_in_binade
    return true;
}

void SingleStretches::add_statistics(RunStatistics& statistics) const {
    statistics.stretches = stretches_;
    statistics.stretches_overshot = overshot_;
    statistics.single_indices = single_indices_;
}

}  // namespace reihen::engine
