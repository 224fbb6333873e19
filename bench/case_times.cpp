// The program's summation on each case, as a multiple of T0 measured in the
// same run, with the worker pool's jobs and sleeping waits; best of two
// runs each. It needs nothing but the program's own code, so that it runs
// on both platforms (the Windows build under Wine). Cases whose name
// contains the first argument, where one is given.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "cases.h"
#include "fast_summation.h"

namespace {

using reihen::bench::Case;
using reihen::bench::kCases;

using Clock = std::chrono::steady_clock;

template <class Run>
double best_of_two(Run run) {
    double best = INFINITY;
    for (int i = 0; i < 2; ++i) {
        const auto start = Clock::now();
        run();
        best = std::fmin(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const char* filter = argc > 1 ? argv[1] : "";
    const Case& t0_case = kCases[0];
    std::ofstream none;
    volatile double sink = 0.0;
    const double t0 = best_of_two(
        [&] { sink = reihen::sum_series_plain(t0_case.s, std::pow(10.0, t0_case.g), 0, none); });
    std::printf("T0 (plain loop, %s): %.0f ms\n\n", t0_case.name, t0 * 1e3);
    std::printf("%-30s %10s %6s %8s %8s\n", "case", "ms", "T0", "rounds", "sleeps");
    for (const Case& c : kCases) {
        if (std::strstr(c.name, filter) == nullptr) continue;
        reihen::SummationMonitor quiet;
        reihen::FastSummationSettings settings;
        reihen::PoolCounts counts;
        settings.pool_counts = &counts;
        const double seconds = best_of_two(
            [&] { sink = reihen::sum_series_fast(c.s, std::pow(10.0, c.g), quiet, settings); });
        std::printf("%-30s %10.1f %6.2f %8llu %8llu\n", c.name, seconds * 1e3, seconds / t0,
                    static_cast<unsigned long long>(counts.rounds),
                    static_cast<unsigned long long>(counts.sleeps));
    }
}
