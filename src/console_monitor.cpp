#include "console_monitor.h"

#include <algorithm>
#include <string>

#include "interrupt.h"
#include "number_text.h"

namespace reihen {
namespace {

constexpr auto kFirstStatusAfter = std::chrono::seconds(1);
constexpr auto kStatusEvery = std::chrono::milliseconds(250);
// Room for the "^C" that the terminal echoes after the status line.
constexpr std::size_t kEchoRoom = 2;

}  // namespace

void ConsoleMonitor::begin() {
    catch_interrupt();
    status_shown_on_terminal_ = error_is_terminal();
    next_status_ = Clock::now() + kFirstStatusAfter;
    status_length_ = 0;
}

bool ConsoleMonitor::stop_requested() { return interrupt_requested(); }

void ConsoleMonitor::progress(std::uint64_t terms, double sum) {
    if (!status_shown_on_terminal_) return;
    const auto now = Clock::now();
    if (now < next_status_) return;
    next_status_ = now + kStatusEvery;
    std::string line = "\rSummanden: ";
    line += std::to_string(terms);
    line += "   Zwischensumme: ";
    append_fixed(line, sum, 12);
    line += "   (Strg+C beendet die Summation)";
    write_error(line);
    status_length_ = std::max(status_length_, line.size() - 1);
}

void ConsoleMonitor::end() {
    if (status_length_ > 0) {
        std::string blank(status_length_ + kEchoRoom + 2, ' ');
        blank.front() = '\r';
        blank.back() = '\r';
        write_error(blank);
    }
    status_length_ = 0;
    release_interrupt();
}

}  // namespace reihen
