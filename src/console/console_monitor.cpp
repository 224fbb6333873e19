#include "console/console_monitor.h"

#include <iostream>
#include <string>

#include "console/run_phases.h"
#include "console/status_line.h"
#include "console/status_terminal.h"

namespace reihen {
namespace {

constexpr auto kFirstStatusAfter = std::chrono::seconds(1);
constexpr auto kStatusEvery = std::chrono::milliseconds(250);

}  // namespace

// Where no key wait ended the run, the console as it was found all the same.
ConsoleMonitor::~ConsoleMonitor() { enter_phase(RunPhase::kDialogue); }

void ConsoleMonitor::begin() {
    enter_phase(RunPhase::kSummation);
    status_on_terminal_ = error_shows_status();
    status_written_ = false;
    stopped_ = false;
    started_ = Clock::now();
    next_status_ = started_ + kFirstStatusAfter;
}

bool ConsoleMonitor::stop_requested() { return interrupt_requested(); }

void ConsoleMonitor::progress(std::uint64_t terms, double sum) {
    if (!status_on_terminal_) return;
    const auto now = Clock::now();
    // A stop erased the row: it is back as soon as the run goes on.
    if (now < next_status_ && !continued_since_asked()) return;
    next_status_ = now + kStatusEvery;
    // The width is asked anew each time, so that a resized window is
    // followed; the time is the time the run ran, not the time it was stopped.
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(now - started_ - time_stopped());
    note_status_row(true);
    show_status(status_line(terms, sum, elapsed, error_terminal_width()));
    status_written_ = true;
}

void ConsoleMonitor::stopped(std::uint64_t terms) {
    stopped_ = true;
    stopped_after_ = terms;
}

void ConsoleMonitor::end() {
    note_status_row(false);
    if (status_written_) clear_status();
    status_written_ = false;
    // The result line that follows is the sum reached so far, not the
    // series' sum: said where the status line was.
    if (stopped_) {
        std::cerr << "Summation nach " << std::to_string(stopped_after_)
                  << " Summanden abgebrochen." << std::endl;
    }
    enter_phase(RunPhase::kClosing);
}

}  // namespace reihen
