// The plain loop's state as a run advances it: the sum, the next index, the
// terms added so far and whether the loop has ended; and the steps every way
// of advancing it shares.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "lanes.h"
#include "series.h"
#include "settings.h"
#include "term_approximation.h"
#include "units.h"

namespace reihen::engine {

class RunState {
public:
    RunState(double s, double limit, const FastSummationSettings& settings)
        : s(s),
          limit(limit),
          settings(settings),
          sum(settings.start_sum),
          n(settings.first_index),
          rules_{.scale = 0.0,
                 .limit = limit,
                 .margin = settings.margin,
                 .never_grow = s >= 0.0,
                 .shortest_stretch = settings.shortest_stretch,
                 .wide_vectors = settings.wide_vectors && wide_vectors_available()} {}

    const double s;
    const double limit;
    const FastSummationSettings settings;
    double sum;
    double n;
    std::uint64_t added = 0;
    bool ended = false;

    // The rules of the sum's current binade.
    Rules rules() const {
        Rules now = rules_;
        now.scale = unit_scale(sum);
        return now;
    }

    // The term of index n in units of the sum's last place.
    double scaled_term() const { return series_term(n, s) * unit_scale(sum); }

    // Whole numbers: fewer than 2^53 terms in all, as the index ends there.
    void count_added(double count) { added += static_cast<std::uint64_t>(count); }

    // One step of the plain loop with the term of index n, computed.
    bool plain_step(double term) {
        if (!(term > limit)) {
            ended = true;
            return false;
        }
        sum += term;
        n += 1.0;
        count_added(1.0);
        if (std::isinf(sum)) ended = true;
        return !ended;
    }

    // Adds `units` certain units if the sum stays in its binade.
    bool add_units(double units, double scale) {
        if (!(sum * scale + units < kTwo53)) return false;
        sum += units / scale;
        return true;
    }

    // How many indices at `at` share one q, where the scaled term is y:
    // about at / (|s| y).
    double stretch_length(double at, double y) const {
        return s == 0.0 ? kTwo53 : at / (std::fabs(s) * std::max(y, 0.5));
    }

    // The stretches below which the stretches at `at` are taken in blocks.
    double sequential_stretch(double at) const {
        const double few = anchor_reach(at, s) / settings.stretches_per_anchor;
        return std::max(settings.shortest_stretch, few);
    }

    // Whether stretches at `at`, where the scaled term is y, are better taken
    // one after another on one thread, with `factor` to spare: where an
    // anchor's reach holds only a few of them, blocks are mostly the cost of
    // their anchors.
    bool stretch_expected(double at, double factor, double y) const {
        return stretch_length(at, y) >= factor * sequential_stretch(at);
    }

private:
    const Rules rules_;  // but for the scale, which follows the sum
};

}  // namespace reihen::engine
