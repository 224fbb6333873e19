// The guesses by which the run is scheduled: how long its stretches of
// equal terms are, and so whether they are taken one after another on one
// thread or in blocks on all threads. They change the speed, never the sum.
#pragma once

#include <algorithm>
#include <cmath>

#include "kernels/term_approximation.h"
#include "kernels/units.h"
#include "run_parameters.h"

namespace reihen::engine {

class Schedule {
public:
    explicit Schedule(const RunParameters& parameters) : parameters_(parameters) {}

    // How many indices at `at` share one q, where the scaled term is y:
    // about at / (|s| y).
    double stretch_length(double at, double y) const {
        const double s = parameters_.s;
        return s == 0.0 ? kTwo53 : at / (std::fabs(s) * std::max(y, 0.5));
    }

    // The stretches below which the stretches at `at` are taken in blocks.
    double sequential_stretch(double at) const {
        const double few = anchor_reach(at, parameters_.s) / parameters_.stretches_per_anchor;
        return std::max(parameters_.rules.shortest_stretch, few);
    }

    // Whether stretches at `at`, where the scaled term is y, are better taken
    // one after another on one thread, with `factor` to spare: where an
    // anchor's reach holds only a few of them, blocks are mostly the cost of
    // their anchors.
    bool stretch_expected(double at, double factor, double y) const {
        return stretch_length(at, y) >= factor * sequential_stretch(at);
    }

private:
    const RunParameters& parameters_;
};

}  // namespace reihen::engine
