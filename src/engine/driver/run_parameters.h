// What stays the same for the whole of a run, each part stored once: the
// series, the rules of its binades but for their scale, and how the run's
// work is shared out.
#pragma once

#include <cstddef>

#include "kernels/lanes.h"
#include "kernels/term_approximation.h"
#include "kernels/units.h"
#include "settings.h"

namespace reihen::engine {

struct RunParameters {
    RunParameters(double s, double limit, const FastSummationSettings& settings);

    // The rules of the binade whose scale is `scale`.
    Rules rules_at(double scale) const {
        Rules binade = rules;
        binade.scale = scale;
        return binade;
    }

    const double s;
    // The limit, the margin and the rest of every binade's rules; their
    // scale is that of no binade (rules_at sets it).
    const Rules rules;
    const double stretches_per_anchor;
    const unsigned threads;
    const bool threads_on_demand;
    const std::size_t most_uncertain;
    // The kernels' vector width: the widest the processor has, unless the
    // settings turn it off.
    const Width width;
    // The binomial coefficients of (1 + x)^-s and of its inverse series
    // (1 + r)^(-1/s) (P2, P4b).
    const Binomial coefficients;
    const Binomial inverse_series;
};

}  // namespace reihen::engine
