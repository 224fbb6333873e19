// How the sum is found without adding every term, and why it is exact: the
// driver of a run. It advances the plain loop's state by plain steps, by
// blocks of single indices sorted on all threads (block_scan.h), by
// stretches (stretch_walk.h) and, from n = 2^53 on, by the fixed term in
// closed form. doc/exact-summation.md tells the whole argument; each room
// carries its part:
// - units.h: the notation, and points 1 (units), 3 (certain units) and 5
//   (the end);
// - term_approximation.h: point 2 (approximations and their bound);
// - stretch_walk.h: point 4 (stretches);
// - here: point 6, the fixed term.
//
// 6. From n = 2^53 on, n + 1 == n: the term is one fixed value for ever, and
//    each binade of the sum is crossed in closed form (add_repeatedly).
#include "fast_summation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "block_scan.h"
#include "lanes.h"
#include "slice.h"
#include "term_approximation.h"
#include "units.h"
#include "worker_pool.h"

namespace reihen {
namespace {

using namespace engine;

constexpr double kFirstSliceLength = 64.0;
// A share of this many indices, where each is looked at, takes a thread
// long enough that the pool's start and end cost little against it.
constexpr double kLongestSlice = 1048576.0;
// Slices are numbered by 32-bit positions.
constexpr double kLongestWalk = 0x1p31;
// The stretches a walked share holds at most, about: a few of them take
// their computed terms, which the share's list must hold.
constexpr double kMostStretches = 65536.0;

// The whole run: the plain loop's state, advanced by plain steps, by blocks
// of single indices sorted by approximation, and by stretches.
class Summation {
public:
    Summation(double s, double limit, SummationMonitor& monitor,
              const FastSummationSettings& settings)
        : s_(s),
          limit_(limit),
          monitor_(monitor),
          settings_(settings),
          binomial_(binomial_coefficients(s)),
          inverse_series_(binomial_coefficients(1.0 / s)),
          pool_(thread_count()),
          slices_(pool_.size()) {}

    double run() {
        // The first index through the plain step: from then on the sum is
        // at least about 1, a normal number with a last-place unit.
        if (!plain_step(series_term(n_, s_))) {
            monitor_.progress(added_, sum_);
            return sum_;
        }
        bool stretches = n_ < kTwo53 && stretch_expected(2.0, scaled_term());
        double slice_length = kFirstSliceLength;
        while (!ended_ && n_ < kTwo53) {
            if (stretches) {
                stretches = stretch_step(kTwo53 - 1.0, sequential_stretch());
                if (!stretches) slice_length = kFirstSliceLength;
            } else {
                run_block(block_length(slice_length, scaled_term()));
                slice_length = std::min(slice_length * 2.0, kLongestSlice);
                stretches = !ended_ && n_ < kTwo53 && stretch_expected(2.0, scaled_term());
            }
            // The monitor is asked right after it was told, so that a stop
            // always comes with the count and sum it saw last.
            if ((++steps_ & 0x3FF) == 0 || !stretches) {
                monitor_.progress(added_, sum_);
                if (monitor_.stop_requested()) return sum_;
            }
        }
        if (!ended_ && n_ == kTwo53) fixed_term_sum();
        monitor_.progress(added_, sum_);
        return sum_;
    }

    PoolCounts pool_counts() const { return {pool_.rounds(), pool_.sleeps()}; }

private:
    Rules rules() const {
        return {unit_scale(sum_),           limit_,
                settings_.margin,           s_ >= 0.0,
                settings_.shortest_stretch, settings_.wide_vectors && wide_vectors_available()};
    }

    // The term of index n in units of the sum's last place.
    double scaled_term() const { return series_term(n_, s_) * unit_scale(sum_); }

    // How many indices at n share one q, where the scaled term is y: about
    // n / (|s| y).
    double stretch_length(double y) const {
        return s_ == 0.0 ? kTwo53 : n_ / (std::fabs(s_) * std::max(y, 0.5));
    }

    void count_added(double count) {
        const std::uint64_t more = static_cast<std::uint64_t>(count);
        added_ = added_ > UINT64_MAX - more ? UINT64_MAX : added_ + more;
    }

    // One step of the plain loop with the term of index n, computed.
    bool plain_step(double term) {
        if (!(term > limit_)) {
            ended_ = true;
            return false;
        }
        sum_ += term;
        n_ += 1.0;
        count_added(1.0);
        if (std::isinf(sum_)) ended_ = true;
        return !ended_;
    }

    // Adds `units` certain units if the sum stays in its binade.
    bool add_units(double units, double scale) {
        if (!(sum_ * scale + units < kTwo53)) return false;
        sum_ += units / scale;
        return true;
    }

    // Whether stretches at n, where the scaled term is y, are better taken
    // one after another on one thread, with `factor` to spare: where an
    // anchor's reach holds only a few of them, blocks are mostly the cost
    // of their anchors.
    bool stretch_expected(double factor, double y) const {
        return stretch_length(y) >= factor * sequential_stretch();
    }

    double sequential_stretch() const {
        const double few = anchor_reach(n_, s_) / settings_.stretches_per_anchor;
        return std::max(settings_.shortest_stretch, few);
    }

    // The indices of the next block. A thread's share is longer where
    // stretches are walked, so that each share holds about as much work.
    // The block stays short of the end of the sum's binade: there the rest
    // of the block goes one stretch or index at a time. Units of growing
    // terms are bounded by those of the block's last index.
    double block_length(double slice_length, double y) const {
        const double stretch = stretch_length(y);
        const double reach = anchor_reach(n_, s_);
        // Only where anchors are walked at all, and not where a wide margin
        // leaves many values too close to call: each of those takes its
        // computed term.
        const bool walks = stretch > settings_.shortest_stretch && reach >= kShortestReach &&
                           std::isfinite(inverse_series_[3]) && settings_.margin * y < 0x1p-6;
        const double walked = walks ? stretch / settings_.shortest_stretch : 1.0;
        // A walked share spans 64 anchors at most, over which the length of
        // the stretches, estimated at its start, changes little.
        const double widest = walks ? std::max(kFirstSliceLength, 64.0 * reach) : kLongestWalk;
        const double threads = pool_.size();
        const double room = kTwo53 - sum_ * unit_scale(sum_);  // units left in the binade
        double fits = 0.9 * room / std::max(y, 0x1p-30);
        if (s_ < 0.0) fits /= std::pow(1.0 + fits / n_, -s_);
        const double share =
            walks ? std::min(slice_length, kMostStretches * settings_.shortest_stretch)
                  : slice_length;
        const double longest = threads * std::min({share * walked, widest, kLongestWalk});
        const double shortest =
            threads * std::min({kFirstSliceLength * walked, widest, kLongestWalk});
        return std::max(std::min(longest, fits), shortest);
    }

    // Sorts the next indices on all threads, then adds them in order.
    void run_block(double length) {
        const Rules block_rules = rules();
        const double room = kTwo53 - n_;  // indices before the fixed term
        const unsigned threads = pool_.size();
        const double slice_length = std::ceil(length / threads);
        const double start = n_;
        for (unsigned index = 0; index < threads; ++index) {
            Slice& slice = slices_[index];
            const double first = std::min(index * slice_length, room);
            slice.n0 = start + first;
            slice.length = static_cast<std::size_t>(std::min(slice_length, room - first));
        }
        pool_.run([&](unsigned index) {
            scan_slice(slices_[index], s_, binomial_, inverse_series_, block_rules);
        });
        // The slices after one that was cut short do not follow on from it.
        for (unsigned index = 0; index < threads && !ended_; ++index) {
            add_slice(slices_[index], block_rules.scale);
            if (slices_[index].cut) break;
        }
    }

    void add_slice(const Slice& slice, double scale) {
        added_before_slice_ = added_;
        if (unit_scale(sum_) != scale) return add_slice_slowly(slice, 0);
        double units_added = 0.0;
        for (const Uncertain& u : slice.uncertain) {
            if (!add_units(u.units_before - units_added, scale)) {
                return add_slice_slowly(slice, position_after(slice, &u));
            }
            units_added = u.units_before;
            n_ = slice.n0 + static_cast<double>(u.position);
            added_ = added_before_slice_ + u.position;
            if (!plain_step(u.term)) return;
            if (unit_scale(sum_) != scale) return add_slice_slowly(slice, u.position + 1);
        }
        if (!add_units(slice.units - units_added, scale)) {
            return add_slice_slowly(slice, position_after(slice, nullptr));
        }
        finish_slice(slice);
    }

    // The first position after the uncertain index before `next` (or after
    // the last one): the sum is exact up to there.
    static std::size_t position_after(const Slice& slice, const Uncertain* next) {
        const std::size_t handled = next == nullptr
                                        ? slice.uncertain.size()
                                        : static_cast<std::size_t>(next - slice.uncertain.data());
        return handled == 0 ? 0 : slice.uncertain[handled - 1].position + 1;
    }

    // Where the binade changes within a slice: stretch by stretch, or index
    // by index, under the rules of the current binade. An end the slice
    // found still holds: the limit does not depend on the binade, and in a
    // larger binade a term below half a unit stays below.
    void add_slice_slowly(const Slice& slice, std::size_t from) {
        added_ = added_before_slice_ + from;
        n_ = slice.n0 + static_cast<double>(from);
        const double end = slice.n0 + static_cast<double>(slice.length);
        while (n_ < end && !ended_) stretch_step(end - 1.0, settings_.shortest_stretch);
        if (!ended_) finish_slice(slice);
    }

    void finish_slice(const Slice& slice) {
        n_ = slice.n0 + static_cast<double>(slice.length);
        added_ = added_before_slice_ + slice.length;
        ended_ = slice.end != SliceEnd::kOpen;
    }

    // Whether y_a and y_b (scaled terms) both lie e = margin * max inside
    // the interval of q (point 3).
    bool both_inside(double y_a, double y_b, double q) const {
        const double e = settings_.margin * std::max(y_a, y_b);
        return std::fabs(y_a - q) + e < 0.5 && std::fabs(y_b - q) + e < 0.5;
    }

    // An approximation to T(n) by point 5, from the anchor that serves n, or
    // from a new one at n; 0.0 where n gets none.
    double approximation(double n) {
        if (!(n >= anchor_ && n < anchor_end_)) {
            anchor_ = n;
            anchor_inverse_ = 1.0 / n;
            anchor_end_ = n + anchor_reach(n, s_);
            anchor_term_ = series_term(n, s_);
            if (anchor_end_ - n < kShortestReach ||
                !(anchor_term_ >= kLowestValue && anchor_term_ <= kHighestValue)) {
                anchor_end_ = n;  // none here
                return 0.0;
            }
        }
        return approximate_one(anchor_term_, anchor_inverse_, binomial_, n - anchor_);
    }

    // One stretch from n on, up to index `bound` at most, or one plain step
    // where there is none to take. Where stretches are expected to be
    // shorter than `shortest`, takes one index and returns false.
    bool stretch_step(double bound, double shortest) {
        const Rules now = rules();
        const double value = approximation(n_);
        const Classified start = classify(value, now);
        if (start.verdict == Verdict::kBelowLimit || start.verdict == Verdict::kSettled) {
            ended_ = true;
            return false;
        }
        const double q = start.units;
        const double m = sum_ * now.scale;
        if (start.verdict != Verdict::kUnits || m + q >= kTwo53) {
            plain_step(series_term(n_, s_));
            return true;
        }
        const double y_a = value * now.scale;
        if (stretch_length(y_a) < shortest) {
            if (add_units(q, now.scale)) {
                n_ += 1.0;
                count_added(1.0);
            }
            return false;
        }
        const auto holds = [&](double b) {
            const double value_b = approximation(b);
            const Classified end = classify(value_b, now);
            return end.verdict == Verdict::kUnits && end.units == q &&
                   both_inside(y_a, value_b * now.scale, q);
        };
        // The last index whose units keep the sum in its binade, the last
        // one before the fixed term, and the bound.
        double last = std::min(kTwo53 - 1.0, bound);
        if (q > 0.0) {
            const std::uint64_t room =
                (kTopUnits - 1 - static_cast<std::uint64_t>(m)) / static_cast<std::uint64_t>(q);
            last = std::min(last, n_ + static_cast<double>(room) - 1.0);
        }
        double b = std::min(predicted_end(q, y_a, now), last);
        if (b > n_ && !holds(b)) {
            // The prediction overshot: the last index known to hold lies
            // between n (which holds) and b (which does not).
            double good = n_;
            double bad = b;
            while (bad - good > 1.0) {
                const double middle = std::floor(good + (bad - good) / 2.0);
                (holds(middle) ? good : bad) = middle;
            }
            b = good;
        }
        b = std::max(b, n_);
        const double count = b - n_ + 1.0;
        sum_ += count * q / now.scale;  // below 2^53 units by the choice of `last`
        n_ = b + 1.0;
        count_added(count);
        return true;
    }

    // Where q should change, from n^-s = value solved for n; only a guess,
    // checked by computing the term there. A little short of the place where
    // the margin would no longer hold, so that the guess usually holds.
    double predicted_end(double q, double y_a, const Rules& now) const {
        if (s_ == 0.0) return kTwo53;
        const double e = 2.0 * settings_.margin * y_a;
        double y_end = s_ > 0.0 ? q - 0.5 + e : q + 0.5 - e;
        if (s_ > 0.0) y_end = std::max(y_end, limit_ * (1.0 + 4.0 * settings_.margin) * now.scale);
        // n_end = n (1 + r)^k with 1 + r = y_end / y_a and k = -1/s; by the
        // binomial series to third order where r is small, by pow elsewhere.
        const double r = y_end / y_a - 1.0;
        const double k = -1.0 / s_;
        const double n =
            std::fabs(r) < 0x1p-12
                ? std::floor(
                      n_ + n_ * (r * k * (1.0 + r * (k - 1.0) / 2.0 * (1.0 + r * (k - 2.0) / 3.0))))
                : std::floor(n_ * std::pow(1.0 + r, k));
        return n >= n_ ? n : n_;  // also where the guess is NaN
    }

    // From n = 2^53 on the term is fixed (point 6).
    void fixed_term_sum() {
        const double term = series_term(n_, s_);
        if (!(term > limit_)) return;
        sum_ = add_repeatedly(sum_, term, std::numeric_limits<double>::infinity());
    }

    const double s_;
    const double limit_;
    SummationMonitor& monitor_;
    const FastSummationSettings settings_;
    const Binomial binomial_;
    const Binomial inverse_series_;  // of (1 + r)^(-1/s)
    WorkerPool pool_;
    std::vector<Slice> slices_;

    double sum_ = settings_.start_sum;
    double n_ = settings_.first_index;
    // The anchor of the stretches' approximations, serving [anchor_, anchor_end_).
    double anchor_ = 0.0;
    double anchor_inverse_ = 0.0;
    double anchor_end_ = 0.0;
    double anchor_term_ = 0.0;
    bool ended_ = false;
    std::uint64_t added_ = 0;
    std::uint64_t added_before_slice_ = 0;
    std::uint64_t steps_ = 0;
};

}  // namespace

// Within a binade, after one step the sum grows by the same number of units
// d at every step: without a tie each step adds round(t/u); with a tie
// t/u = k + 1/2 the first step leaves an even m, and from an even m every
// step adds k (k even) or k + 1 (k odd), leaving m even again. So two
// computed steps give d, and the rest of the binade is crossed in closed
// form; its edges, and terms large against the sum, go step by step.
double add_repeatedly(double sum, double term, double times) {
    while (times > 0.0 && !std::isinf(sum)) {
        const double first = sum + term;
        if (first == sum) return sum;  // the same addition, for ever
        if (times < 2.0) return first;
        const double second = first + term;
        if (second == first) return first;  // a tie rounded up to an even sum
        const double scale = unit_scale(sum);
        if (scale == 0.0 || term * scale >= 0x1p50 || unit_scale(first) != scale ||
            unit_scale(second) != scale) {
            sum = first;
            times -= 1.0;
            continue;
        }
        const auto d = static_cast<std::uint64_t>((second - first) * scale);
        const auto m = static_cast<std::uint64_t>(second * scale);
        const std::uint64_t room = (kTopUnits - 1 - m) / d;  // steps left in the binade
        const double steps = std::min(static_cast<double>(room), times - 2.0);
        sum = second + steps * static_cast<double>(d) / scale;
        times -= steps + 2.0;
    }
    return sum;
}

double sum_series_fast(double s, double limit, SummationMonitor& monitor,
                       const FastSummationSettings& settings) {
    Summation summation(s, limit, monitor, settings);
    const double sum = summation.run();
    if (settings.pool_counts != nullptr) *settings.pool_counts = summation.pool_counts();
    return sum;
}

}  // namespace reihen
