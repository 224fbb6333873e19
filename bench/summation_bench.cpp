// The program's summation against the plain loop on the same inputs, in one
// run; prints each ratio at the end.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "summation.h"

namespace {

struct Case {
    const char* name;
    double s;
    double g;
    bool run_plain;  // false where the plain loop would take minutes
};

const Case kCases[] = {
    {"s=0.7 G=-6.3 (1e9 terms)", 0.7, -6.3, true},
    {"s=1.5 G=-13.5 (1e9 terms)", 1.5, -13.5, true},
    {"s=1 G=-8 (1e8 terms)", 1, -8, true},
    {"s=2 G=-16 (1e8 terms)", 2, -16, true},
    {"s=1 G=-20", 1, -20, false},
    {"s=1 G=-400", 1, -400, false},
    {"s=0.5 G=-400", 0.5, -400, false},
    {"s=0.1 G=-400", 0.1, -400, false},
    {"s=2 G=-400", 2, -400, false},
    {"s=0 G=-1", 0, -1, false},
    {"s=-1 G=-1", -1, -1, false},
    {"s=-7.5 G=-1", -7.5, -1, false},
    {"s=-20 G=-1", -20, -1, false},
    {"s=-25 G=-1", -25, -1, false},
    {"s=-26 G=-1", -26, -1, false},
    {"s=-27.5 G=-1", -27.5, -1, false},
    {"s=-28 G=-1", -28, -1, false},
    {"s=-30 G=-1", -30, -1, false},
};

void plain_sum(benchmark::State& state, const Case& c) {
    std::ofstream none;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reihen::sum_series_plain(c.s, std::pow(10.0, c.g), 0, none));
    }
}

void program_sum(benchmark::State& state, const Case& c) {
    std::ofstream none;
    reihen::SummationMonitor quiet;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reihen::sum_series(c.s, std::pow(10.0, c.g), 0, none, quiet));
    }
}

// Report lines: the plain loop formatting with printf and flushing each
// line, against the program writing the same lines to a stream.
constexpr double kReportG = -10;  // 10^5 lines with s = 2

void plain_lines(benchmark::State& state) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        const double limit = std::pow(10.0, kReportG);
        double sum = 0.0;
        for (double n = 1.0;; n += 1.0) {
            const double term = 1.0 / std::pow(n, 2.0);
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
        benchmark::DoNotOptimize(reihen::sum_series(2, std::pow(10.0, kReportG), 1, sink, quiet));
    }
}

// Collects the times to print the ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void print_ratios() const {
        std::printf("\n%-28s %12s %12s %8s\n", "case", "plain (ms)", "program (ms)", "ratio");
        for (const Case& c : kCases) print(c.name, "plain/", "program/");
        print("report lines s=2 G=-10", "plain_lines", "program_lines");
    }

private:
    void print(const std::string& name, const std::string& plain,
               const std::string& program) const {
        const auto p = seconds_.find(plain == "plain/" ? plain + name : plain);
        const auto q = seconds_.find(program == "program/" ? program + name : program);
        if (q == seconds_.end()) return;
        if (p == seconds_.end()) {
            std::printf("%-28s %12s %12.1f %8s\n", name.c_str(), "-", q->second, "-");
        } else {
            std::printf("%-28s %12.1f %12.1f %7.1fx\n", name.c_str(), p->second, q->second,
                        p->second / q->second);
        }
    }

    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Case& c : kCases) {
        if (c.run_plain) {
            benchmark::RegisterBenchmark((std::string("plain/") + c.name).c_str(), plain_sum, c)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->UseRealTime();
        }
        benchmark::RegisterBenchmark((std::string("program/") + c.name).c_str(), program_sum, c)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
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
}
