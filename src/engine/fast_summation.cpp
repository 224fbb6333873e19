// The driver of a run: it advances the plain loop's state by plain steps,
// by blocks of single indices classified on all threads (blocks.h), by
// stretches taken one after another (single_stretches.h) and, from
// n = 2^53 on, by the fixed term in closed form (fixed_term.h).
// doc/exact-summation.md tells why the sum is the plain loop's.
#include "fast_summation.h"

#include <cstdint>
#include <limits>

#include "blocks.h"
#include "fixed_term.h"
#include "plain_summation.h"
#include "run_state.h"
#include "single_stretches.h"
#include "units.h"

namespace reihen {
namespace {

using namespace engine;

class Summation {
public:
    Summation(double s, double limit, SummationMonitor& monitor,
              const FastSummationSettings& settings)
        : run_(s, limit, settings),
          stretches_(run_),
          monitor_(monitor),
          blocks_(run_, stretches_, monitor) {}

    double run() {
        // The first index through the plain step: from then on the sum is
        // at least about 1, a normal number with a last-place unit.
        if (!run_.plain_step(series_term(run_.n, run_.s))) {
            monitor_.progress(run_.added, run_.sum);
            return run_.sum;
        }
        bool stretches = stretches_ahead();
        while (!run_.ended && run_.n < kTwo53) {
            if (stretches) {
                stretches = stretches_.step(kTwo53 - 1.0, run_.sequential_stretch(run_.n));
                if (!stretches) blocks_.start_small();
                // The monitor is asked right after it was told, so that a
                // stop always comes with the count and sum it saw last.
                if ((++steps_ & 0x3FF) == 0 || !stretches) {
                    monitor_.progress(run_.added, run_.sum);
                    if (monitor_.stop_requested()) return stopped();
                }
            } else {
                if (!blocks_.run()) return stopped();
                stretches = !run_.ended && stretches_ahead();
            }
        }
        if (!run_.ended && run_.n == kTwo53) fixed_term_sum();
        monitor_.progress(run_.added, run_.sum);
        return run_.sum;
    }

    RunStatistics statistics() const { return blocks_.statistics(); }

private:
    // Whether the run goes on by stretches one after another.
    bool stretches_ahead() const {
        return run_.n < kTwo53 && run_.stretch_expected(run_.n, 2.0, run_.scaled_term());
    }

    double stopped() {
        monitor_.stopped(run_.added);
        return run_.sum;
    }

    // From n = 2^53 on the term is fixed (P6).
    void fixed_term_sum() {
        const double term = series_term(run_.n, run_.s);
        if (!(term > run_.limit)) return;
        run_.sum = add_repeatedly(run_.sum, term, std::numeric_limits<double>::infinity());
    }

    RunState run_;
    SingleStretches stretches_;
    SummationMonitor& monitor_;
    std::uint64_t steps_ = 0;
    Blocks blocks_;  // made from the run's state and its single stretches
};

}  // namespace

double sum_series_fast(double s, double limit, SummationMonitor& monitor,
                       const FastSummationSettings& settings) {
    Summation summation(s, limit, monitor, settings);
    const double sum = summation.run();
    if (settings.statistics != nullptr) *settings.statistics = summation.statistics();
    return sum;
}

}  // namespace reihen
