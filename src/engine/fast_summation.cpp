// How the sum is found without adding every term, and why it is exact: the
// driver of a run. It advances the plain loop's state by plain steps, by
// blocks of single indices scanned on all threads (block_scan.h), by
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
#include <atomic>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <numeric>
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
// long enough that handing it out costs little against it.
constexpr double kLongestSlice = 1048576.0;
// Slices are numbered by 32-bit positions.
constexpr double kLongestWalk = 0x1p31;
// The stretches a walked share holds at most, about: a few of them take
// their computed terms, which the share's list must hold.
constexpr double kMostStretches = 65536.0;
// A block holds this many pieces for each thread, so that a thread slowed
// down (by another program on its core, or on a slower core) leaves the
// rest of its share to the others.
constexpr unsigned kPiecesPerThread = 4;
// Indices in a piece at least: fewer would cost more to hand out than to
// scan.
constexpr double kShortestPiece = 64.0;
// The pieces handed out ahead of the adding, for each thread: enough that
// the other threads scan on for some milliseconds where the main thread
// loses its core to another program.
constexpr unsigned kPiecesAhead = 64;

// A piece of a block: the indices to scan and the binade to scan them in,
// then what the scanning found. Each has cache lines of its own, as
// different threads write neighbouring pieces.
struct alignas(64) Piece {
    // Written by the main thread while no thread may keep the piece's
    // result, and read by a thread that took the piece's number: `id`
    // tells it whether it read the piece of that number (hand_out, scan).
    std::atomic<std::uint64_t> id{UINT64_MAX};
    std::atomic<double> n0{0.0};
    std::atomic<std::size_t> length{0};
    std::atomic<double> scale{0.0};
    // Written by the thread that keeps its result, then read by the main
    // thread, as are `n0` and `scale` (its own).
    std::size_t scanned_length = 0;  // the indices before `end`
    double units = 0.0;
    std::vector<Uncertain> uncertain;
    SliceEnd end = SliceEnd::kOpen;
    bool cut = false;
};

// Indices n0 .. n0 + length - 1, scanned under one binade's rules on all
// threads and added in order, as the pieces first_piece .. end_piece - 1.
struct Block {
    double n0;
    double length;
    Rules rules;
    double most_units = 0.0;  // a bound on the units its terms add
    std::uint64_t first_piece = 0;
    std::uint64_t end_piece = 0;
};

// The whole run: the plain loop's state, advanced by plain steps, by blocks
// of single indices classified by their approximations, and by stretches.
class Summation final : PieceWork {
public:
    Summation(double s, double limit, SummationMonitor& monitor,
              const FastSummationSettings& settings)
        : s_(s),
          limit_(limit),
          monitor_(monitor),
          settings_(settings),
          binomial_(binomial_coefficients(s)),
          inverse_series_(binomial_coefficients(1.0 / s)),
          rules_{.scale = 0.0,
                 .limit = limit,
                 .margin = settings.margin,
                 .never_grow = s >= 0.0,
                 .shortest_stretch = settings.shortest_stretch,
                 .wide_vectors = settings.wide_vectors && wide_vectors_available()},
          threads_(settings.threads != 0 ? std::min(settings.threads, kMostThreads)
                                         : thread_count()),
          pieces_(std::size_t{kPiecesAhead + 2 * kPiecesPerThread} * threads_),
          scratch_(threads_),
          pool_(threads_, pieces_.size(), *this) {}

    Summation(const Summation&) = delete;
    Summation& operator=(const Summation&) = delete;

    double run() {
        // The first index through the plain step: from then on the sum is
        // at least about 1, a normal number with a last-place unit.
        if (!plain_step(series_term(n_, s_))) {
            monitor_.progress(added_, sum_);
            return sum_;
        }
        bool stretches = n_ < kTwo53 && stretch_expected(n_, 2.0, scaled_term());
        while (!ended_ && n_ < kTwo53) {
            if (stretches) {
                stretches = stretch_step(kTwo53 - 1.0, sequential_stretch(n_));
                if (!stretches) slice_length_ = kFirstSliceLength;
                // The monitor is asked right after it was told, so that a
                // stop always comes with the count and sum it saw last.
                if ((++steps_ & 0x3FF) == 0 || !stretches) {
                    monitor_.progress(added_, sum_);
                    if (monitor_.stop_requested()) return sum_;
                }
            } else {
                if (!run_blocks()) return sum_;
                stretches = !ended_ && n_ < kTwo53 && stretch_expected(n_, 2.0, scaled_term());
            }
        }
        if (!ended_ && n_ == kTwo53) fixed_term_sum();
        monitor_.progress(added_, sum_);
        return sum_;
    }

    RunStatistics statistics() const {
        const PoolStatistics pool = pool_.statistics();
        return {pool_.size(), blocks_, pool.pieces, pool.scanned_again, pool.sleeps, pool.alone};
    }

private:
    // The rules of the sum's current binade.
    Rules rules() const {
        Rules now = rules_;
        now.scale = unit_scale(sum_);
        return now;
    }

    // The term of index n in units of the sum's last place.
    double scaled_term() const { return series_term(n_, s_) * unit_scale(sum_); }

    // How many indices at n share one q, where the scaled term is y: about
    // n / (|s| y).
    double stretch_length(double n, double y) const {
        return s_ == 0.0 ? kTwo53 : n / (std::fabs(s_) * std::max(y, 0.5));
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
    bool stretch_expected(double n, double factor, double y) const {
        return stretch_length(n, y) >= factor * sequential_stretch(n);
    }

    double sequential_stretch(double n) const {
        const double few = anchor_reach(n, s_) / settings_.stretches_per_anchor;
        return std::max(settings_.shortest_stretch, few);
    }

    // Blocks one after another, planned ahead of the adding by about
    // kPiecesAhead pieces for each thread, so that the threads scan on
    // while the main thread adds, or has lost its core for a while. A block
    // is planned where it is known to start in the binade of the sum at the
    // start of the oldest block in flight, which is exact: the units the
    // blocks in flight add are bounded. Where the next block cannot be
    // planned yet, the blocks in flight are added first. False where the
    // monitor asked to stop.
    bool run_blocks() {
        std::deque<Block> planned;  // handed out and not yet added, in order
        planned.push_back(plan_block(n_, scaled_term(), kTwo53 - sum_ * unit_scale(sum_), rules()));
        for (;;) {
            plan_ahead(planned);
            const bool as_planned = add_block(planned.front());
            planned.pop_front();
            monitor_.progress(added_, sum_);
            if (monitor_.stop_requested()) {
                pool_.withdraw();
                return false;
            }
            if (!as_planned || planned.empty()) {
                pool_.withdraw();
                return true;
            }
        }
    }

    // The block from index n on, where the scaled term is y and at least
    // `room` units are left in the sum's binade, handed out to the threads.
    Block plan_block(double n, double y, double room, const Rules& rules) {
        Block block{n, block_length(n, y, room), rules};
        block.most_units = most_units(block);
        slice_length_ = std::min(slice_length_ * 2.0, kLongestSlice);
        ++blocks_;
        hand_out(block);
        return block;
    }

    // Plans the blocks after those in flight, up to kPiecesAhead pieces for
    // each thread, while each next one is known to start in the same binade.
    // The sum is exact at the start of the first block in flight, and the
    // planning depends on nothing else: never on the time.
    void plan_ahead(std::deque<Block>& planned) {
        const std::uint64_t ahead = std::uint64_t{kPiecesAhead} * pool_.size();
        const double scale = planned.front().rules.scale;
        double room = std::accumulate(
            planned.begin(), planned.end(), kTwo53 - sum_ * scale,
            [](double left, const Block& block) { return left - block.most_units; });
        while (pool_.next_piece() - planned.front().first_piece < ahead && room > 0.0) {
            const Block& last = planned.back();
            const double n = last.n0 + last.length;
            if (!(n < kTwo53)) return;
            const double y = series_term(n, s_) * scale;
            if (stretch_expected(n, 2.0, y)) return;
            planned.push_back(plan_block(n, y, room, last.rules));
            room -= planned.back().most_units;
        }
    }

    // The most units the block's terms add: each lies within 2^-30 (far
    // more than pow's error) of the larger of the terms at the block's ends,
    // as tau is monotone, and adds at most half a unit more.
    double most_units(const Block& block) const {
        const double first = series_term(block.n0, s_);
        const double last = series_term(block.n0 + block.length - 1.0, s_);
        return block.length * (std::max(first, last) * block.rules.scale * (1.0 + 0x1p-30) + 0.5);
    }

    // The length of the block from n on, where the scaled term is y and
    // `room` units are left in the binade. A thread's share is longer where
    // stretches are walked, so that each share holds about as much work.
    // The block stays short of the end of the binade: there the rest of the
    // block goes one stretch or index at a time. Units of growing terms are
    // bounded by those of the block's last index.
    double block_length(double n, double y, double room) const {
        const double stretch = stretch_length(n, y);
        const double reach = anchor_reach(n, s_);
        const bool walked_anchors = walks(stretch, reach, y);
        const double walked = walked_anchors ? stretch / settings_.shortest_stretch : 1.0;
        // A walked share spans 64 anchors at most, over which the length of
        // the stretches, estimated at its start, changes little.
        const double widest =
            walked_anchors ? std::max(kFirstSliceLength, 64.0 * reach) : kLongestWalk;
        const double threads = pool_.size();
        double fits = 0.9 * room / std::max(y, 0x1p-30);
        if (s_ < 0.0) fits /= std::pow(1.0 + fits / n, -s_);
        const double share =
            walked_anchors ? std::min(slice_length_, kMostStretches * settings_.shortest_stretch)
                           : slice_length_;
        const double longest = threads * std::min({share * walked, widest, kLongestWalk});
        const double shortest =
            threads * std::min({kFirstSliceLength * walked, widest, kLongestWalk});
        return std::min(std::ceil(std::max(std::min(longest, fits), shortest)), kTwo53 - n);
    }

    // Whether anchors are walked at all: not where a wide margin leaves
    // many values too close to call, as each of those takes its computed
    // term.
    bool walks(double stretch, double reach, double y) const {
        return stretch > settings_.shortest_stretch && reach >= kShortestReach &&
               std::isfinite(inverse_series_[3]) && settings_.margin * y < 0x1p-6;
    }

    // Cuts the block into pieces and hands them out. A piece's bounds follow
    // from the block alone, never from the thread that scans it or when.
    void hand_out(Block& block) {
        // One thread alone has nothing to balance.
        const double most = pool_.size() == 1 ? 1.0 : kPiecesPerThread * pool_.size();
        const double count = std::clamp(std::floor(block.length / kShortestPiece), 1.0, most);
        const double length = std::ceil(block.length / count);
        // Whole numbers below 2^53.
        const auto all = static_cast<std::uint64_t>(block.length);
        const auto each = static_cast<std::uint64_t>(length);
        block.first_piece = pool_.next_piece();
        block.end_piece = block.first_piece + (all + each - 1) / each;
        for (std::uint64_t id = block.first_piece; id < block.end_piece; ++id) {
            const std::uint64_t first = (id - block.first_piece) * each;
            pool_.reserve(id);
            Piece& piece = pieces_[id % pieces_.size()];
            // Each store follows the one of `id` before it: a thread that
            // reads any of the new values also reads the new `id` after.
            piece.id.store(UINT64_MAX, std::memory_order_relaxed);
            piece.n0.store(block.n0 + static_cast<double>(first), std::memory_order_release);
            piece.length.store(std::min(each, all - first), std::memory_order_release);
            piece.scale.store(block.rules.scale, std::memory_order_release);
            piece.id.store(id, std::memory_order_release);
        }
        pool_.publish(block.end_piece);
    }

    // Scans a piece in the thread's own slice, where the piece read is the
    // one of that number (a thread that took it long ago may find its slot
    // handed out anew).
    bool scan(unsigned thread, std::uint64_t id) override {
        const Piece& piece = pieces_[id % pieces_.size()];
        if (piece.id.load(std::memory_order_acquire) != id) return false;
        Slice& slice = scratch_[thread];
        slice.n0 = piece.n0.load(std::memory_order_acquire);
        slice.length = piece.length.load(std::memory_order_acquire);
        Rules binade = rules_;
        binade.scale = piece.scale.load(std::memory_order_acquire);
        if (piece.id.load(std::memory_order_relaxed) != id) return false;
        scan_slice(slice, s_, binomial_, inverse_series_, binade);
        return true;
    }

    void keep(unsigned thread, std::uint64_t id) override {
        Piece& piece = pieces_[id % pieces_.size()];
        Slice& slice = scratch_[thread];
        piece.scanned_length = slice.length;
        piece.units = slice.units;
        piece.end = slice.end;
        piece.cut = slice.cut;
        piece.uncertain.swap(slice.uncertain);
    }

    // Adds the block's pieces in order, each as soon as it is scanned. False
    // where the run ends there or the plan no longer holds after a piece:
    // one cut short (those after it do not follow on from it), or the
    // binade left.
    bool add_block(const Block& block) {
        for (std::uint64_t id = block.first_piece; id < block.end_piece; ++id) {
            pool_.wait_for(id);
            const Piece& piece = pieces_[id % pieces_.size()];
            add_piece(piece);
            if (ended_ || piece.cut || unit_scale(sum_) != block.rules.scale) return false;
        }
        return true;
    }

    void add_piece(const Piece& piece) {
        const double n0 = piece.n0.load(std::memory_order_relaxed);
        const double scale = piece.scale.load(std::memory_order_relaxed);
        added_before_piece_ = added_;
        if (unit_scale(sum_) != scale) return add_piece_slowly(piece, 0);
        double units_added = 0.0;
        for (const Uncertain& u : piece.uncertain) {
            if (!add_units(u.units_before - units_added, scale)) {
                return add_piece_slowly(piece, position_after(piece, &u));
            }
            units_added = u.units_before;
            n_ = n0 + static_cast<double>(u.position);
            added_ = added_before_piece_ + u.position;
            if (!plain_step(u.term)) return;
            if (unit_scale(sum_) != scale) return add_piece_slowly(piece, u.position + 1);
        }
        if (!add_units(piece.units - units_added, scale)) {
            return add_piece_slowly(piece, position_after(piece, nullptr));
        }
        finish_piece(piece);
    }

    // The first position after the uncertain index before `next` (or after
    // the last one): the sum is exact up to there.
    static std::size_t position_after(const Piece& piece, const Uncertain* next) {
        const std::size_t handled = next == nullptr
                                        ? piece.uncertain.size()
                                        : static_cast<std::size_t>(next - piece.uncertain.data());
        return handled == 0 ? 0 : piece.uncertain[handled - 1].position + 1;
    }

    // Where the binade changes within a piece: stretch by stretch, or index
    // by index, under the rules of the current binade. An end the piece
    // found still holds: the limit does not depend on the binade, and in a
    // larger binade a term below half a unit stays below.
    void add_piece_slowly(const Piece& piece, std::size_t from) {
        const double n0 = piece.n0.load(std::memory_order_relaxed);
        added_ = added_before_piece_ + from;
        n_ = n0 + static_cast<double>(from);
        const double end = n0 + static_cast<double>(piece.scanned_length);
        while (n_ < end && !ended_) stretch_step(end - 1.0, settings_.shortest_stretch);
        if (!ended_) finish_piece(piece);
    }

    void finish_piece(const Piece& piece) {
        n_ = piece.n0.load(std::memory_order_relaxed) + static_cast<double>(piece.scanned_length);
        added_ = added_before_piece_ + piece.scanned_length;
        ended_ = piece.end != SliceEnd::kOpen;
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
            anchor_reciprocal_ = 1.0 / n;
            anchor_end_ = n + anchor_reach(n, s_);
            anchor_term_ = series_term(n, s_);
            if (anchor_end_ - n < kShortestReach ||
                !(anchor_term_ >= kLowestValue && anchor_term_ <= kHighestValue)) {
                anchor_end_ = n;  // none here
                return 0.0;
            }
        }
        return approximate_one(anchor_term_, anchor_reciprocal_, binomial_, n - anchor_);
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
        if (stretch_length(n_, y_a) < shortest) {
            sum_ += q / now.scale;  // below 2^53 units, as m + q is
            n_ += 1.0;
            count_added(1.0);
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
    const Rules rules_;              // but for the scale, which follows the sum
    const unsigned threads_;
    // The pieces in flight, by their numbers modulo the ring's size, and
    // each thread's slice to scan them in. The
    // pool's threads use both, so they are made before it and outlive it.
    std::vector<Piece> pieces_;
    std::vector<Slice> scratch_;
    WorkerPool pool_;

    double sum_ = settings_.start_sum;
    double n_ = settings_.first_index;
    // The anchor of the stretches' approximations, serving [anchor_, anchor_end_).
    double anchor_ = 0.0;
    double anchor_reciprocal_ = 0.0;
    double anchor_end_ = 0.0;
    double anchor_term_ = 0.0;
    bool ended_ = false;
    std::uint64_t added_ = 0;
    std::uint64_t added_before_piece_ = 0;
    std::uint64_t steps_ = 0;
    double slice_length_ = kFirstSliceLength;  // a thread's share of the next block
    std::uint64_t blocks_ = 0;
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
    if (settings.statistics != nullptr) *settings.statistics = summation.statistics();
    return sum;
}

}  // namespace reihen
