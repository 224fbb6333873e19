// Stretches taken one after another on the main thread: where an anchor's
// reach holds only a few of them, and where a piece is added across a
// change of the sum's binade.
#pragma once

#include <cstdint>

#include "kernels/term_approximation.h"
#include "kernels/units.h"
#include "run_state.h"
#include "schedule.h"
#include "settings.h"

namespace reihen::engine {

class SingleStretches {
public:
    SingleStretches(RunState& run, const Schedule& schedule) : run_(run), schedule_(schedule) {}

    // One stretch from n on, up to index `bound` at most, or one plain step
    // where there is none to take. Where stretches are expected to be
    // shorter than `shortest`, takes one index and returns false.
    bool step(double bound, double shortest);

    // How often stretches were taken, their predicted ends did not hold, and
    // single indices were taken instead.
    void add_statistics(RunStatistics& statistics) const;

private:
    double approximation(double at);
    static bool both_inside(double y_a, double y_b, double q, double margin);
    double last_in_binade(double q, double m, double bound) const;
    double predicted_end(double q, double y_a, const Rules& now) const;

    RunState& run_;
    const Schedule& schedule_;
    // The anchor of the approximations, serving [anchor_, anchor_end_).
    double anchor_ = 0.0;
    double anchor_reciprocal_ = 0.0;
    double anchor_end_ = 0.0;
    double anchor_term_ = 0.0;
    std::uint64_t stretches_ = 0;
    std::uint64_t overshot_ = 0;
    std::uint64_t single_indices_ = 0;
};

}  // namespace reihen::engine
