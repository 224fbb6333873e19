// How a run of the fast summation goes, and what it tells of itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reihen {

// How a run ended.
enum class RunEnd {
    kLimit,      // at a term not above the limit
    kSettled,    // where no later term changes the sum (P5)
    kInfinite,   // with an infinite sum
    kFixedTerm,  // at n = 2^53, with the sum the fixed term keeps for ever (P6)
    kStopped,    // on the monitor's request
};

// What a run did: what it asked of its threads, for the benchmark, and how
// often it took the rarer paths, for the tests that make them happen.
struct RunStatistics {
    unsigned threads = 0;             // the threads that scanned pieces, the main one included
    std::uint64_t blocks = 0;         // blocks of indices scanned on all threads
    std::uint64_t pieces = 0;         // the pieces they were cut into
    std::uint64_t scanned_again = 0;  // by the main thread, which waited for them
    std::uint64_t sleeps = 0;         // waits that ended in sleep (the costly ones)
    double alone = 0.0;               // seconds in which only the main thread had work
    std::uint64_t pieces_cut = 0;     // cut short with their list of uncertain indices full
    std::uint64_t pieces_across_binades = 0;  // in which the sum left its binade
    std::uint64_t pieces_dropped = 0;   // scanned for a binade the sum had left before their turn
    std::uint64_t pieces_by_index = 0;  // of s = -1, classified by the index alone (P4c)
    std::uint64_t stretches = 0;        // taken one after another
    std::uint64_t stretches_overshot = 0;  // of those, where the predicted end did not hold
    std::uint64_t single_indices = 0;      // taken one at a time between them
    std::uint64_t fixed_term_binades = 0;  // crossed in closed form from n = 2^53 on
    RunEnd end = RunEnd::kLimit;
    double next_index = 0.0;  // where the run ended: the first index plus the terms added
};

struct FastSummationSettings {
    // How far, relative to its size, a term must lie from every place where
    // its rounding could go either way before its rounding is taken as known.
    // It must cover the error of pow (4096 units in the last place) with the
    // approximation's own: 2^-38 covers both 1.87 times. Tests widen it to
    // make the careful paths common.
    double margin = 0x1p-38;
    // Whole stretches of equal terms are looked for only where a stretch is
    // expected to hold at least this many terms; tests set it to 1.
    double shortest_stretch = 4.0;
    // Stretches are taken one after another on one thread, not in blocks on
    // all threads, where one approximation's reach is expected to hold
    // fewer than this many; tests make it large to make that the rule. Down
    // to about one a reach, blocks cost as little as single stretches on one
    // thread, and they are scanned on all.
    double stretches_per_anchor = 1.0;
    // Whether the block kernels use the widest vectors the processor has;
    // tests turn it off to run the baseline kernels too.
    bool wide_vectors = true;
    // The index of the first term and the sum it is added to: tests start
    // runs far out, where the plain loop would take too long to get to.
    double first_index = 1.0;
    double start_sum = 0.0;
    // The threads that scan blocks, the main one included, 64 at most: the
    // program gives one for each core the process may use, tests and the
    // benchmark as many as they ask for.
    unsigned threads = 1;
    // Threads are started as the run's work shows that it can use them;
    // tests start them all at once, as a machine with that many idle cores
    // would see them used.
    bool threads_on_demand = true;
    // The most uncertain indices a piece lists before it is cut short there,
    // which bounds its memory; tests make it small to make cuts common.
    std::size_t most_uncertain = std::size_t{1} << 17;
};

}  // namespace reihen
