// What a person at the console sees and can do while the sum is computed.
#pragma once

#include <chrono>
#include <cstdint>

#include "monitor.h"

namespace reihen {

// The summation as a person at the console follows it: begin() and end()
// move the console into the summation's phase and out into the result
// lines' (run_phases.h), in which Ctrl-C ends the summation instead of the
// program; where it did, one line on standard error says so. When standard
// error is a terminal, a run that takes longer than a second shows a
// one-row status line there, erased again at the end.
class ConsoleMonitor : public SummationMonitor {
public:
    ConsoleMonitor() = default;
    ~ConsoleMonitor() override;
    ConsoleMonitor(const ConsoleMonitor&) = delete;
    ConsoleMonitor& operator=(const ConsoleMonitor&) = delete;

    void begin() override;
    bool stop_requested() override;
    void progress(std::uint64_t terms, double sum) override;
    void stopped(std::uint64_t terms) override;
    void end() override;

private:
    using Clock = std::chrono::steady_clock;
    bool status_on_terminal_ = false;
    bool status_written_ = false;
    bool stopped_ = false;
    std::uint64_t stopped_after_ = 0;
    Clock::time_point started_{};
    Clock::time_point next_status_{};
};

}  // namespace reihen
