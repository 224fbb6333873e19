// The plain loop's state as a run advances it: the sum, the next index, the
// terms added so far and whether the loop has ended, changed only by the
// steps every way of advancing it shares.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "fixed_term.h"
#include "kernels/units.h"
#include "run_parameters.h"
#include "series.h"

namespace reihen::engine {

class RunState {
public:
    RunState(const RunParameters& parameters, PlainSum start)
        : parameters_(parameters), at_(start) {}

    // The run's fixed parameters, which the state's steps follow too.
    const RunParameters& parameters() const { return parameters_; }

    double sum() const { return at_.sum; }
    double n() const { return at_.n; }
    std::uint64_t added() const { return added_; }
    bool ended() const { return ended_; }

    // The rules of the sum's current binade.
    Rules rules() const { return parameters_.rules_at(unit_scale(at_.sum)); }

    // The term of index n in units of the sum's last place.
    double scaled_term() const { return series_term(at_.n, parameters_.s) * unit_scale(at_.sum); }

    // The index n with its computed term; false where the loop ends there,
    // or the sum is infinite, which nothing changes any more.
    bool plain_step(double term) {
        if (!reihen::plain_step(at_, term, parameters_.rules.limit)) {
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

private:
    // Whole numbers: fewer than 2^53 terms in all, as the index ends there.
    void count_added(double count) { added_ += static_cast<std::uint64_t>(count); }

    const RunParameters& parameters_;
    PlainSum at_;
    std::uint64_t added_ = 0;
    bool ended_ = false;
};

}  // namespace reihen::engine
