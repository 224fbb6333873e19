// The series sum without report lines: bit for bit the result of the plain
// loop, or the value that loop would keep for ever, reached without adding
// every term.
#pragma once

#include <cstdint>

#include "plain_summation.h"

namespace reihen {

// What a run asked of its threads, for the benchmark.
struct RunStatistics {
    unsigned threads = 0;             // the threads that scanned pieces, the main one included
    std::uint64_t blocks = 0;         // blocks of indices scanned on all threads
    std::uint64_t pieces = 0;         // the pieces they were cut into
    std::uint64_t scanned_again = 0;  // by the main thread, which waited for them
    std::uint64_t sleeps = 0;         // waits that ended in sleep (the costly ones)
    double alone = 0.0;               // seconds in which only the main thread had work
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
    // The threads that scan blocks, the main one included; 0 for one per
    // core the process may use. Tests and the benchmark set it.
    unsigned threads = 0;
    // Where set, receives what the run asked of its threads.
    RunStatistics* statistics = nullptr;
};

double sum_series_fast(double s, double limit, SummationMonitor& monitor,
                       const FastSummationSettings& settings = {});

}  // namespace reihen
