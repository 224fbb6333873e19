// Blocks of single indices classified by their approximations on all
// threads: each cut into pieces that any thread scans, planned ahead of the
// adding, and added in order on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "kernels/slice.h"
#include "kernels/term_approximation.h"
#include "kernels/units.h"
#include "monitor.h"
#include "piece_ring.h"
#include "run_parameters.h"
#include "run_state.h"
#include "schedule.h"
#include "settings.h"
#include "single_stretches.h"
#include "worker_pool.h"

namespace reihen::engine {

// Indices n0 .. n0 + length - 1, classified under one binade's rules on all
// threads and added in order, as the pieces first_piece .. end_piece - 1.
struct Block {
    double n0 = 0.0;
    double length = 0.0;
    double piece_length = 0.0;  // of each piece but the last, which may be shorter; <= length
    Rules rules{};
    double most_units = 0.0;  // a bound on the units its terms add
    std::uint64_t first_piece = 0;
    std::uint64_t end_piece = 0;
};

class Blocks final : PieceWork {
public:
    Blocks(RunState& run, const Schedule& schedule, SingleStretches& stretches,
           SummationMonitor& monitor);

    Blocks(const Blocks&) = delete;
    Blocks& operator=(const Blocks&) = delete;
    ~Blocks() override = default;

    // Blocks one after another from the run's state, for as long as each
    // next one can be planned; false where the monitor asked to stop.
    bool run();

    // The next block's shares start small again, as after stretches taken
    // one after another.
    void start_small();

    // What the blocks asked of the threads, and their rarer paths.
    void add_statistics(RunStatistics& statistics) const;

private:
    Block plan_block(double n, double y, double room, const Rules& rules);
    void plan_ahead(std::deque<Block>& planned);
    double most_units(const Block& block) const;
    Block extent(double n, double y, double room) const;
    bool walks(double stretch, double reach, double y) const;
    void hand_out(Block& block);
    void scan(unsigned thread, std::uint64_t id) override;
    bool finished(std::uint64_t id) const override { return pieces_.finished(id); }
    bool add_block(const Block& block);
    void add_piece(const PiecePlan& plan, const ScanResult& found);
    void add_piece_slowly(const PiecePlan& plan, const ScanResult& found);

    RunState& run_;
    const RunParameters& parameters_;
    const Schedule& schedule_;
    SingleStretches& stretches_;
    SummationMonitor& monitor_;
    const unsigned threads_;
    double slice_length_;  // a thread's share of the next block
    std::uint64_t blocks_ = 0;
    std::uint64_t pieces_cut_ = 0;
    std::uint64_t pieces_across_binades_ = 0;
    std::uint64_t pieces_dropped_ = 0;
    std::uint64_t pieces_by_index_ = 0;
    // The pieces in flight, and each thread's slice to scan them in. The
    // pool's threads use both, so they are made before it and outlive it.
    PieceRing pieces_;
    std::vector<Slice> scratch_;
    WorkerPool pool_;
};

}  // namespace reihen::engine
