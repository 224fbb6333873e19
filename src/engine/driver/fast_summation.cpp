// The driver of a run: it advances the plain loop's state by plain steps,
// by blocks of single indices classified on all threads (blocks.h), by
// stretches taken one after another (single_stretches.h) and, from
// n = 2^53 on, by the fixed term in closed form (fixed_term.h).
// doc/exact-summation.md tells why the sum is the plain loop's.
#include "fast_summation.h"

#include <cmath>
#include <cstdint>

#include "blocks.h"
#include "kernels/units.h"
#include "run_parameters.h"
#include "run_state.h"
#include "schedule.h"
#include "series.h"
#include "single_stretches.h"

namespace reihen {
namespace {

using namespace engine;

// One per run, so the padding before its cache-aligned blocks costs
// nothing; its members are in the order they must be made in.
class Summation {  // NOLINT(clang-analyzer-optin.performance.Padding)
public:
    Summation(double s, double limit, SummationMonitor& monitor,
              const FastSummationSettings& settings)
        : parameters_(s, limit, settings),
          schedule_(parameters_),
          run_(parameters_, {settings.start_sum, settings.first_index}),
          stretches_(run_, schedule_),
          blocks_(run_, schedule_, stretches_, monitor),
          monitor_(monitor) {}

    double run() {
        // The first index through the plain step: from then on the sum is
        // at least about 1, a normal number with a last-place unit.
        if (!run_.plain_step(series_term(run_.n(), parameters_.s))) return finished();
        bool stretches = stretches_ahead();
        while (!run_.ended() && run_.n() < kTwo53) {
            if (stretches) {
                stretches = stretches_.step(kTwo53 - 1.0, schedule_.sequential_stretch(run_.n()));
                if (!stretches) blocks_.start_small();
                // The monitor is asked right after it was told, so that a
                // stop always comes with the count and sum it saw last.
                if ((++steps_ & 0x3FF) == 0 || !stretches) {
                    monitor_.progress(run_.added(), run_.sum());
                    if (monitor_.stop_requested()) return stopped();
                }
            } else {
                if (!blocks_.run()) return stopped();
                stretches = !run_.ended() && stretches_ahead();
            }
        }
        if (!run_.ended()) fixed_term_sum();  // the loop left at n = 2^53
        return finished();
    }

    RunStatistics statistics() const {
        RunStatistics statistics;
        blocks_.add_statistics(statistics);
        stretches_.add_statistics(statistics);
        statistics.fixed_term_binades = fixed_term_binades_;
        statistics.end = end_;
        statistics.next_index = run_.n();
        return statistics;
    }

private:
    // Whether the run goes on by stretches one after another: also where
    // the sum is too small to have a unit, as only a run started far out
    // can be, which blocks cannot take.
    bool stretches_ahead() const {
        return run_.n() < kTwo53 && (unit_scale(run_.sum()) == 0.0 ||
                                     schedule_.stretch_expected(run_.n(), 2.0, run_.scaled_term()));
    }

    double stopped() {
        end_ = RunEnd::kStopped;
        monitor_.stopped(run_.added());
        return run_.sum();
    }

    double finished() {
        end_ = how_it_ended();
        monitor_.progress(run_.added(), run_.sum());
        return run_.sum();
    }

    // A run that was not stopped ends at the limit, where it settles, with
    // an infinite sum, or with the fixed term from n = 2^53 on.
    RunEnd how_it_ended() const {
        if (std::isinf(run_.sum())) return RunEnd::kInfinite;
        if (fixed_term_added_) return RunEnd::kFixedTerm;
        const double term = series_term(run_.n(), parameters_.s);
        return term > parameters_.rules.limit ? RunEnd::kSettled : RunEnd::kLimit;
    }

    // From n = 2^53 on the term is fixed (P6).
    void fixed_term_sum() {
        const double term = series_term(run_.n(), parameters_.s);
        if (!(term > parameters_.rules.limit)) return;
        fixed_term_added_ = true;
        run_.add_fixed_term(term, &fixed_term_binades_);
    }

    // The run's parameters, its schedule, its state and its single
    // stretches come before the blocks, which are made from them.
    const RunParameters parameters_;
    const Schedule schedule_;
    RunState run_;
    SingleStretches stretches_;
    Blocks blocks_;
    SummationMonitor& monitor_;
    std::uint64_t steps_ = 0;
    std::uint64_t fixed_term_binades_ = 0;
    RunEnd end_ = RunEnd::kLimit;
    bool fixed_term_added_ = false;
};

}  // namespace

double sum_series_fast(double s, double limit, SummationMonitor& monitor,
                       const FastSummationSettings& settings, RunStatistics* statistics) {
    Summation summation(s, limit, monitor, settings);
    const double sum = summation.run();
    if (statistics != nullptr) *statistics = summation.statistics();
    return sum;
}

}  // namespace reihen
