// The program's summation on each case, as a multiple of T0 measured in the
// same run, best of two runs each. It needs nothing but the program's own
// code, so that it runs on both platforms (the Windows build under Wine).
//
//   reihen_case_times [--threads N] [FILTER]
//
// runs the cases whose name contains FILTER, on N threads (by default one
// for each core the process may use). For each case it also tells how the
// work was handed out (blocks, pieces, pieces the main thread scanned again,
// waits that ended in sleep), the processor time the run got as a multiple
// of its time (on Linux; on Windows the clock measures time, so it is 1),
// and the share of the time in which the main thread worked alone, no other
// thread having work; from that share, Amdahl's law estimates the time on
// 4, 8 and 16 cores, taking the rest of the time as work that all threads
// share.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "cases.h"
#include "cores/usable_cores.h"
#include "fast_summation.h"
#include "power.h"
#include "series.h"

namespace {

using reihen::bench::Case;
using reihen::bench::kCases;

using Clock = std::chrono::steady_clock;

struct Timed {
    double seconds = INFINITY;
    double cores = 0.0;  // processor time over time
    reihen::RunStatistics statistics;
};

template <class Run>
Timed best_of_two(Run run) {
    Timed best;
    for (int i = 0; i < 2; ++i) {
        reihen::RunStatistics statistics;
        const std::clock_t processor = std::clock();
        const auto start = Clock::now();
        run(statistics);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double used = static_cast<double>(std::clock() - processor) / CLOCKS_PER_SEC;
        if (seconds < best.seconds) best = {seconds, used / seconds, statistics};
    }
    return best;
}

// The time on `cores` cores by Amdahl's law, from a run on `threads`.
double estimate(const Timed& timed, double cores) {
    const double alone = std::fmin(timed.statistics.alone, timed.seconds);
    const double shared = (timed.seconds - alone) * timed.statistics.threads;
    return alone + shared / std::fmax(cores, timed.statistics.threads);
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = reihen::usable_cores();
    const char* filter = "";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            filter = argv[i];
        }
    }
    const Case& t0_case = kCases[0];
    double plain = 0.0;
    const Timed t0 = best_of_two([&](reihen::RunStatistics&) {
        plain = reihen::sum_series_plain(t0_case.s, reihen::power(10.0, t0_case.g));
    });
    bool agree = true;
    std::printf("T0 (plain loop, %s): %.0f ms\n\n", t0_case.name, t0.seconds * 1e3);
    std::printf("%-24s %8s %5s %7s %5s %6s %7s %6s %6s %6s %8s %8s %8s\n", "case", "ms", "T0",
                "threads", "cores", "blocks", "pieces", "again", "sleeps", "alone", "4 cores",
                "8 cores", "16 cores");
    for (const Case& c : kCases) {
        if (std::strstr(c.name, filter) == nullptr) continue;
        reihen::SummationMonitor quiet;
        double sum = 0.0;
        const Timed timed = best_of_two([&](reihen::RunStatistics& statistics) {
            reihen::FastSummationSettings settings;
            settings.threads = threads;
            sum = reihen::sum_series_fast(c.s, reihen::power(10.0, c.g), quiet, settings,
                                          &statistics);
        });
        // T0's case is the one whose plain sum is at hand.
        if (&c == &t0_case && std::memcmp(&sum, &plain, sizeof sum) != 0) {
            std::printf("DIFFERENT SUMS for %s: plain loop %a, program %a\n", c.name, plain, sum);
            agree = false;
        }
        const reihen::RunStatistics& s = timed.statistics;
        std::printf(
            "%-24.24s %8.1f %5.2f %7u %5.2f %6llu %7llu %6llu %6llu %5.1f%% %8.1f %8.1f %8.1f\n",
            c.name, timed.seconds * 1e3, timed.seconds / t0.seconds, s.threads, timed.cores,
            static_cast<unsigned long long>(s.blocks), static_cast<unsigned long long>(s.pieces),
            static_cast<unsigned long long>(s.scanned_again),
            static_cast<unsigned long long>(s.sleeps),
            100.0 * std::fmin(s.alone / timed.seconds, 1.0), estimate(timed, 4) * 1e3,
            estimate(timed, 8) * 1e3, estimate(timed, 16) * 1e3);
    }
    return agree ? 0 : 1;
}
