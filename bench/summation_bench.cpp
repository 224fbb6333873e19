// The program's summation against the plain loop on the same inputs, in one
// run; prints each ratio at the end, and each case's time as a multiple of
// T0, the plain loop's time for 10^8 terms at s = 0.7, once as measured at
// the start and once as measured again right before the case (the
// machine's speed may drift within a run); the program's times and T0 are
// the best of two runs. The block kernels alone: the per-index scan and the
// stretch walk on one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "block_scan.h"
#include "cases.h"
#include "cores/usable_cores.h"
#include "dialogue/summation.h"
#include "fast_summation.h"
#include "lanes.h"
#include "power.h"
#include "series.h"
#include "term_approximation.h"
#include "units.h"

namespace {

using reihen::bench::Case;
using reihen::bench::kCases;

// Each case's sums, by the plain loop and by the program, which must be the
// same bit for bit.
std::map<std::string, double> g_plain_sums;
std::map<std::string, double> g_program_sums;

void plain_sum(benchmark::State& state, const Case& c) {
    double sum = 0.0;
    for (auto _ : state) {
        sum = reihen::sum_series_plain(c.s, reihen::power(10.0, c.g));
        benchmark::DoNotOptimize(sum);
    }
    g_plain_sums[c.name] = sum;
}

// What each case's last run asked of its threads, and how many threads
// to run (--threads=N; by default one for each core the process may use).
std::map<std::string, reihen::RunStatistics> g_statistics;
unsigned g_threads = reihen::usable_cores();

// What the program runs without report lines, counting the threads' work.
void program_sum(benchmark::State& state, const Case& c) {
    reihen::SummationMonitor quiet;
    reihen::FastSummationSettings settings;
    reihen::RunStatistics statistics;
    settings.threads = g_threads;
    double sum = 0.0;
    for (auto _ : state) {
        sum = reihen::sum_series_fast(c.s, reihen::power(10.0, c.g), quiet, settings, &statistics);
        benchmark::DoNotOptimize(sum);
    }
    g_statistics[c.name] = statistics;
    g_program_sums[c.name] = sum;
}

// Whether every case that both summed gave the same sum; tells of each
// that did not.
bool sums_agree() {
    bool agree = true;
    for (const auto& [name, plain] : g_plain_sums) {
        const auto program = g_program_sums.find(name);
        if (program == g_program_sums.end() ||
            std::memcmp(&program->second, &plain, sizeof plain) == 0) {
            continue;
        }
        std::printf("DIFFERENT SUMS for %s: plain loop %a, program %a\n", name.c_str(), plain,
                    program->second);
        agree = false;
    }
    return agree;
}

// One thread's share of a block at index n0 of the run of s = -26, whose
// sum there is about n^27 / 27: at 2^31 every index is classified on its own,
// at 2^34 stretches of about 150 indices are walked.
struct Kernel {
    const char* name;
    double n0;
    std::size_t length;
    bool per_stretch;  // whether its time is counted per stretch or per index
};

const Kernel kKernels[] = {
    {"per-index scan (ns an index)", 0x1p31, std::size_t{1} << 20, false},
    {"stretch walk (ns a stretch)", 0x1p34, std::size_t{1} << 24, true},
};

constexpr double kKernelS = -26.0;

reihen::engine::Rules kernel_rules(const Kernel& k) {
    const double sum = reihen::series_term(k.n0, kKernelS) * k.n0 / 27.0;
    const reihen::FastSummationSettings defaults;
    return {.scale = reihen::engine::unit_scale(sum),
            .limit = 0.1,
            .margin = defaults.margin,
            .never_grow = false,
            .shortest_stretch = defaults.shortest_stretch};
}

// The indices, or the stretches: one for each unit the scaled term passes.
double kernel_items(const Kernel& k) {
    if (!k.per_stretch) return static_cast<double>(k.length);
    const double scale = kernel_rules(k).scale;
    const double last = k.n0 + static_cast<double>(k.length);
    return std::fabs(reihen::series_term(last, kKernelS) - reihen::series_term(k.n0, kKernelS)) *
           scale;
}

void kernel(benchmark::State& state, const Kernel& k) {
    using namespace reihen::engine;
    const Rules rules = kernel_rules(k);
    const Binomial c = binomial_coefficients(kKernelS);
    const Binomial inverse = binomial_coefficients(1.0 / kKernelS);
    Slice slice;
    for (auto _ : state) {
        slice.n0 = k.n0;
        slice.length = k.length;
        scan_slice(slice, {kKernelS, c, inverse, rules},
                   wide_vectors_available() ? Width::kWide : Width::kBaseline);
        benchmark::DoNotOptimize(slice.result.units);
    }
}

// Report lines: the plain loop formatting with printf and flushing each
// line, against the program writing the same lines to a stream.
constexpr double kReportG = -10;  // 10^5 lines with s = 2

void plain_lines(benchmark::State& state) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        const double limit = reihen::power(10.0, kReportG);
        double sum = 0.0;
        for (double n = 1.0;; n += 1.0) {
            const double term = 1.0 / reihen::power(n, 2.0);
            if (!(term > limit)) break;
            sum += term;
            char line[100];
            std::snprintf(line, sizeof line, "Zwischensumme: %.12f   Summand: %.15f", sum, term);
            std::fputs(line, sink);
            std::fputc('\n', sink);
            std::fflush(sink);
        }
    }
    std::fclose(sink);
}

void program_lines(benchmark::State& state) {
    std::ofstream sink("/dev/null");
    reihen::SummationMonitor quiet;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            reihen::sum_series(2, reihen::power(10.0, kReportG), 1, sink, quiet));
    }
}

// Collects the times to print the ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // The best of the repetitions: the machine's noise only ever adds.
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            const auto [at, added] =
                seconds_.emplace(run.run_name.function_name, run.GetAdjustedRealTime());
            if (!added) at->second = std::min(at->second, run.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void print_ratios() const {
        std::printf("\n%-30s %12s %12s %8s %6s %6s %8s %8s\n", "case", "plain (ms)", "program (ms)",
                    "ratio", "T0", "near", "blocks", "sleeps");
        for (const Case& c : kCases) print(c.name, "plain/", "program/");
        print("report lines s=2 G=-10", "plain_lines", "program_lines");
        std::printf("\n%-30s %12s\n", "kernel, one thread", "ns");
        for (const Kernel& k : kKernels) {
            const auto t = seconds_.find(std::string("kernel/") + k.name);
            if (t == seconds_.end()) continue;
            std::printf("%-30s %12.2f\n", k.name, t->second * 1e6 / kernel_items(k));
        }
    }

private:
    void print(const std::string& name, const std::string& plain,
               const std::string& program) const {
        const auto p = seconds_.find(plain == "plain/" ? plain + name : plain);
        const auto q = seconds_.find(program == "program/" ? program + name : program);
        if (q == seconds_.end()) return;
        const double multiple = multiple_of(q->second, std::string("plain/") + kCases[0].name);
        const double near = multiple_of(q->second, "near/" + name);
        const reihen::RunStatistics counts = g_statistics[name];
        if (p == seconds_.end()) {
            std::printf("%-30s %12s %12.1f %8s %6.2f %6.2f", name.c_str(), "-", q->second, "-",
                        multiple, near);
        } else {
            std::printf("%-30s %12.1f %12.1f %7.1fx %6.2f %6.2f", name.c_str(), p->second,
                        q->second, p->second / q->second, multiple, near);
        }
        std::printf(" %8llu %8llu\n", static_cast<unsigned long long>(counts.blocks),
                    static_cast<unsigned long long>(counts.sleeps));
    }

    // A time as a multiple of the T0 measured under `t0`, 0 where there is none.
    double multiple_of(double seconds, const std::string& t0) const {
        const auto at = seconds_.find(t0);
        return at == seconds_.end() ? 0.0 : seconds / at->second;
    }

    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--threads=", 10) == 0) {
            g_threads = static_cast<unsigned>(std::strtoul(argv[i] + 10, nullptr, 10));
        }
    }
    for (const Case& c : kCases) {
        if (c.run_plain) {
            benchmark::RegisterBenchmark((std::string("plain/") + c.name).c_str(), plain_sum, c)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->Repetitions(&c == &kCases[0] ? 2 : 1)
                ->UseRealTime();
        }
        benchmark::RegisterBenchmark((std::string("near/") + c.name).c_str(), plain_sum, kCases[0])
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(2)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("program/") + c.name).c_str(), program_sum, c)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(2)
            ->UseRealTime();
    }
    for (const Kernel& k : kKernels) {
        benchmark::RegisterBenchmark((std::string("kernel/") + k.name).c_str(), kernel, k)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(50)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("plain_lines", plain_lines)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("program_lines", program_lines)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return sums_agree() ? 0 : 1;
}
