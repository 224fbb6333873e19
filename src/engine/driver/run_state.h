// The plain loop's state as a run advances it: the sum, the next index, the
// terms added so far and whether the loop has ended, changed only by the
// steps every way of advancing it shares; and what the run knows of its
// series.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "fixed_term.h"
#include "kernels/lanes.h"
#include "kernels/term_approximation.h"
#include "kernels/units.h"
#include "series.h"
#include "settings.h"

namespace reihen::engine {

class RunState {
public:
    RunState(double s, double limit, const FastSummationSettings& settings)
        : s_(s),
          limit_(limit),
          settings_(settings),
          coefficients_(binomial_coefficients(s)),
          inverse_series_(binomial_coefficients(1.0 / s)),
          rules_{.scale = 0.0,
                 .limit = limit,
                 .margin = settings.margin,
                 .never_grow = s >= 0.0,
                 .shortest_stretch = settings.shortest_stretch},
          width_(settings.wide_vectors && wide_vectors_available() ? Width::kWide
                                                                   : Width::kBaseline),
          at_{settings.start_sum, settings.first_index} {}

    double s() const { return s_; }
    double limit() const { return limit_; }
    // The settings the rules do not hold (the margin and the shortest
    // stretch are read from the rules).
    const FastSummationSettings& settings() const { return settings_; }
    // The binomial coefficients of (1 + x)^-s and of its inverse series
    // (1 + r)^(-1/s) (P2, P4b).
    const Binomial& coefficients() const { return coefficients_; }
    const Binomial& inverse_series() const { return inverse_series_; }

    double sum() const { return at_.sum; }
    double n() const { return at_.n; }
    std::uint64_t added() const { return added_; }
    bool ended() const { return ended_; }

    // The vector width of the kernels, chosen once for the run.
    Width width() const { return width_; }

    // The rules of the sum's current binade.
    Rules rules() const {
        Rules now = rules_;
        now.scale = unit_scale(at_.sum);
        return now;
    }

    // The term of index n in units of the sum's last place.
    double scaled_term() const { return series_term(at_.n, s_) * unit_scale(at_.sum); }

    // The index n with its computed term; false where the loop ends there,
    // or the sum is infinite, which nothing changes any more.
    bool plain_step(double term) {
        if (!reihen::plain_step(at_, term, limit_)) {
            ended_ = true;
            return false;
        }
        count_added(1.0);
        if (std::isinf(at_.sum)) ended_ = true;
        return !ended_;
    }

    // The next `count` indices, which add `units` certain units of the
    // binade whose scale is `scale` in all, where the sum stays in that
    // binade (P1); false, and nothing added, where it would not.
    bool add_certain(double units, double count, double scale) {
        if (!(at_.sum * scale + units < kTwo53)) return false;
        at_.sum += units / scale;
        at_.n += count;
        count_added(count);
        return true;
    }

    // The loop ends at index n: its term is certainly not above the limit,
    // or no later term changes the sum (P3, P5).
    void end() { ended_ = true; }

    // From n = 2^53 on, the fixed term for ever (P6); `binades` counts those
    // crossed in closed form.
    void add_fixed_term(double term, std::uint64_t* binades) {
        at_.sum = add_repeatedly(at_.sum, term, std::numeric_limits<double>::infinity(), binades);
        ended_ = true;
    }

    // How many indices at `at` share one q, where the scaled term is y:
    // about at / (|s| y).
    double stretch_length(double at, double y) const {
        return s_ == 0.0 ? kTwo53 : at / (std::fabs(s_) * std::max(y, 0.5));
    }

    // The stretches below which the stretches at `at` are taken in blocks.
    double sequential_stretch(double at) const {
        const double few = anchor_reach(at, s_) / settings_.stretches_per_anchor;
        return std::max(rules_.shortest_stretch, few);
    }

    // Whether stretches at `at`, where the scaled term is y, are better taken
    // one after another on one thread, with `factor` to spare: where an
    // anchor's reach holds only a few of them, blocks are mostly the cost of
    // their anchors.
    bool stretch_expected(double at, double factor, double y) const {
        return stretch_length(at, y) >= factor * sequential_stretch(at);
    }

private:
    // Whole numbers: fewer than 2^53 terms in all, as the index ends there.
    void count_added(double count) { added_ += static_cast<std::uint64_t>(count); }

    const double s_;
    const double limit_;
    const FastSummationSettings settings_;
    const Binomial coefficients_;
    const Binomial inverse_series_;
    const Rules rules_;  // but for the scale, which follows the sum
    const Width width_;  // of the kernels, the widest the processor has unless turned off
    PlainSum at_;
    std::uint64_t added_ = 0;
    bool ended_ = false;
};

}  // namespace reihen::engine
