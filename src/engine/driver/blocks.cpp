#include "blocks.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "kernels/block_scan.h"
#include "power.h"
#include "series.h"

namespace reihen::engine {
namespace {

constexpr double kFirstSliceLength = 64.0;
// A share of this many indices, where each is looked at, takes a thread
// long enough that handing it out costs little against it.
constexpr double kLongestSlice = 1048576.0;
// Slices are numbered by 32-bit positions: no piece is longer than this
// (extent).
constexpr double kLongestWalk = 0x1p31;
static_assert(kLongestWalk <= 0x1p32);
// The stretches a walked share holds at most, about: a few of them take
// their computed terms, which the share's list must hold.
constexpr double kMostStretches = 65536.0;
// A thread's share of a block is this many pieces, so that a thread slowed
// down (by another program on its core, or on a slower core) leaves the
// rest of its share to the others; a block holds as many pieces for each
// thread at most.
constexpr unsigned kPiecesPerThread = 4;
// Indices in a piece at least: fewer would cost more to hand out than to
// scan.
constexpr double kShortestPiece = 64.0;
// Pieces a block is cut into at least, however few threads it would fill:
// a block kept short by the top of its binade still gives two threads
// work.
constexpr double kLeastPieces = 8.0;
// The pieces handed out ahead of the adding, for each thread: enough that
// the other threads scan on for some milliseconds where the main thread
// loses its core to another program.
constexpr unsigned kPiecesAhead = 64;

}  // namespace

Blocks::Blocks(RunState& run, const Schedule& schedule, SingleStretches& stretches,
               SummationMonitor& monitor)
    : run_(run),
      parameters_(run.parameters()),
      schedule_(schedule),
      stretches_(stretches),
      monitor_(monitor),
      threads_(std::clamp(parameters_.threads, 1U, kMostThreads)),
      slice_length_(kFirstSliceLength),
      pieces_(std::size_t{kPiecesAhead + 2 * kPiecesPerThread} * threads_),
      scratch_(threads_),
      pool_(parameters_.threads_on_demand ? 1U : threads_, threads_, *this) {
    // A piece lists at least one term, so that each piece is added up to
    // past its first.
    for (Slice& slice : scratch_) {
        slice.most_uncertain = std::max<std::size_t>(parameters_.most_uncertain, 1);
    }
}

void Blocks::start_small() { slice_length_ = kFirstSliceLength; }

void Blocks::add_statistics(RunStatistics& statistics) const {
    pool_.add_statistics(statistics);
    statistics.sleeps += pieces_.sleeps();
    statistics.blocks = blocks_;
    statistics.pieces_cut = pieces_cut_;
    statistics.pieces_across_binades = pieces_across_binades_;
    statistics.pieces_dropped = pieces_dropped_;
    statistics.pieces_by_index = pieces_by_index_;
}

// Blocks one after another, planned ahead of the adding by about
// kPiecesAhead pieces for each thread, so that the threads scan on
// while the main thread adds, or has lost its core for a while. A block
// is planned where it is known to start in the binade of the sum at the
// start of the oldest block in flight, which is exact: the units the
// blocks in flight add are bounded. Where the next block cannot be
// planned yet, the blocks in flight are added first. False where the
// monitor asked to stop.
bool Blocks::run() {
    std::deque<Block> planned;  // handed out and not yet added, in order
    planned.push_back(plan_block(run_.n(), run_.scaled_term(),
                                 kTwo53 - run_.sum() * unit_scale(run_.sum()), run_.rules()));
    for (;;) {
        plan_ahead(planned);
        const bool as_planned = add_block(planned.front());
        planned.pop_front();
        monitor_.progress(run_.added(), run_.sum());
        if (monitor_.stop_requested()) {
            pieces_.withdraw(pool_.withdraw());
            return false;
        }
        if (!as_planned || planned.empty()) {
            pieces_.withdraw(pool_.withdraw());
            return true;
        }
    }
}

// The block from index n on, where the scaled term is y and at least
// `room` units are left in the sum's binade, handed out to the threads.
Block Blocks::plan_block(double n, double y, double room, const Rules& rules) {
    Block block = extent(n, y, room);
    block.rules = rules;
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
void Blocks::plan_ahead(std::deque<Block>& planned) {
    const std::uint64_t ahead = std::uint64_t{kPiecesAhead} * pool_.size();
    const double scale = planned.front().rules.scale;
    double room =
        std::accumulate(planned.begin(), planned.end(), kTwo53 - run_.sum() * scale,
                        [](double left, const Block& block) { return left - block.most_units; });
    while (pool_.next_piece() - planned.front().first_piece < ahead && room > 0.0) {
        const Block& last = planned.back();
        const double n = last.n0 + last.length;
        if (!(n < kTwo53)) return;
        const double y = series_term(n, parameters_.s) * scale;
        if (schedule_.stretch_expected(n, 2.0, y)) return;
        planned.push_back(plan_block(n, y, room, last.rules));
        room -= planned.back().most_units;
    }
}

// The most units the block's terms add: each lies within 2^-30 (far
// more than pow's error) of the larger of the terms at the block's ends,
// as tau is monotone, and adds at most half a unit more.
double Blocks::most_units(const Block& block) const {
    const double first = series_term(block.n0, parameters_.s);
    const double last = series_term(block.n0 + block.length - 1.0, parameters_.s);
    return block.length * (std::max(first, last) * block.rules.scale * (1.0 + 0x1p-30) + 0.5);
}

// The block from n on, where the scaled term is y and `room` units are
// left in the binade: its length, and the length of its pieces. A piece
// holds a quarter of a thread's share of the work, whatever the number of
// threads, or an eighth of a shorter block: more threads take more
// pieces, not smaller ones. A share is longer where stretches are walked,
// so that each holds about as much work. The block stays short of the end
// of the binade: there the rest of the block goes one stretch or index at
// a time. Units of growing terms are bounded by those of the block's last
// index.
Block Blocks::extent(double n, double y, double room) const {
    const double s = parameters_.s;
    const double shortest_stretch = parameters_.rules.shortest_stretch;
    const double stretch = schedule_.stretch_length(n, y);
    const double reach = anchor_reach(n, s);
    const bool walked_anchors = walks(stretch, reach, y);
    const double walked = walked_anchors ? stretch / shortest_stretch : 1.0;
    // A walked share spans 64 anchors at most, over which the length of
    // the stretches, estimated at its start, changes little.
    const double widest = walked_anchors ? std::max(kFirstSliceLength, 64.0 * reach) : kLongestWalk;
    double fits = 0.9 * room / std::max(y, 0x1p-30);
    if (s < 0.0) fits /= power(1.0 + fits / n, -s);
    const double share_length =
        walked_anchors ? std::min(slice_length_, kMostStretches * shortest_stretch) : slice_length_;
    const double share = std::min({share_length * walked, widest, kLongestWalk});
    const double shortest = std::min({kFirstSliceLength * walked, widest, kLongestWalk});
    const double length =
        std::min(std::ceil(std::max(std::min(pool_.size() * share, fits), shortest)), kTwo53 - n);
    Block block{.n0 = n, .length = length};
    // A run on one thread alone has nothing to balance; one whose pool may
    // still grow cuts its blocks for the threads to come.
    const double piece = std::min(share / kPiecesPerThread, length / kLeastPieces);
    block.piece_length =
        threads_ == 1 ? length : std::min(length, std::max(kShortestPiece, std::ceil(piece)));
    return block;
}

// Whether anchors are walked at all: not where a wide margin leaves
// many values too close to call, as each of those takes its computed
// term.
bool Blocks::walks(double stretch, double reach, double y) const {
    const Rules& rules = parameters_.rules;
    return stretch > rules.shortest_stretch && reach >= kShortestReach &&
           std::isfinite(parameters_.inverse_series[3]) && rules.margin * y < 0x1p-6;
}

// Cuts the block into pieces and hands them out.
void Blocks::hand_out(Block& block) {
    // Whole numbers below 2^53.
    const auto all = static_cast<std::uint64_t>(block.length);
    const auto each = static_cast<std::uint64_t>(block.piece_length);  // at most kLongestWalk
    block.first_piece = pool_.next_piece();
    block.end_piece = block.first_piece + (all + each - 1) / each;
    for (std::uint64_t id = block.first_piece; id < block.end_piece; ++id) {
        const std::uint64_t first = (id - block.first_piece) * each;
        pieces_.plan(id, {.n0 = block.n0 + static_cast<double>(first),
                          .length = static_cast<std::uint32_t>(std::min(each, all - first)),
                          .scale = block.rules.scale});
    }
    pool_.publish(block.end_piece);
}

// Scans a piece in the thread's own slice, where the piece's slot still
// holds it (a thread that took it long ago may find the slot planned anew).
void Blocks::scan(unsigned thread, std::uint64_t id) {
    PiecePlan plan;
    if (!pieces_.read_plan(id, plan)) return;
    Slice& slice = scratch_[thread];
    slice.n0 = plan.n0;
    slice.length = plan.length;
    scan_slice(slice,
               {parameters_.s, parameters_.coefficients, parameters_.inverse_series,
                parameters_.rules_at(plan.scale)},
               parameters_.width);
    pieces_.keep(id, slice.result);
}

// Adds the block's pieces in order, each as soon as it is scanned. False
// where the run ends there or the plan no longer holds: after a piece cut
// short (those after it do not follow on from it), or where the sum has
// left the binade the pieces were scanned for.
bool Blocks::add_block(const Block& block) {
    for (std::uint64_t id = block.first_piece; id < block.end_piece; ++id) {
        if (unit_scale(run_.sum()) != block.rules.scale) {
            pieces_dropped_ += block.end_piece - id;
            return false;
        }
        pool_.wait_for(id);
        const ScanResult& found = pieces_.result(id);
        add_piece(pieces_.planned(id), found);
        if (run_.ended()) return false;
        if (found.cut) {
            ++pieces_cut_;
            return false;
        }
    }
    return true;
}

// Adds a piece scanned for the sum's binade, which starts at index n.
void Blocks::add_piece(const PiecePlan& plan, const ScanResult& found) {
    if (found.by_index) ++pieces_by_index_;
    double units_added = 0.0;
    for (const Uncertain& u : found.uncertain) {
        const double at = plan.n0 + static_cast<double>(u.position);
        if (!run_.add_certain(u.units_before - units_added, at - run_.n(), plan.scale)) {
            return add_piece_slowly(plan, found);
        }
        units_added = u.units_before;
        if (!run_.plain_step(u.term)) return;
        if (unit_scale(run_.sum()) != plan.scale) return add_piece_slowly(plan, found);
    }
    const double end = plan.n0 + static_cast<double>(found.length);
    if (!run_.add_certain(found.units - units_added, end - run_.n(), plan.scale)) {
        return add_piece_slowly(plan, found);
    }
    if (found.end != SliceEnd::kOpen) run_.end();
}

// Where the binade changes within a piece: from the index reached on,
// stretch by stretch, or index by index, under the rules of the current
// binade; an end the piece found still holds (P9).
void Blocks::add_piece_slowly(const PiecePlan& plan, const ScanResult& found) {
    ++pieces_across_binades_;
    const double end = plan.n0 + static_cast<double>(found.length);
    while (run_.n() < end && !run_.ended()) {
        stretches_.step(end - 1.0, run_.rules().shortest_stretch);
    }
    if (!run_.ended() && found.end != SliceEnd::kOpen) run_.end();
}

}  // namespace reihen::engine
