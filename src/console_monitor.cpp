#include "console_monitor.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>

#include "number_text.h"

namespace reihen {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_previous_sigint {};
bool g_sigint_caught = false;

void on_interrupt(int) { g_interrupted = 1; }

void write_to_terminal(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

constexpr auto kFirstStatusAfter = std::chrono::seconds(1);
constexpr auto kStatusEvery = std::chrono::milliseconds(250);
// Room for the "^C" that the terminal echoes after the status line.
constexpr std::size_t kEchoRoom = 2;

}  // namespace

void ConsoleMonitor::begin() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // output in progress goes on
    sigaction(SIGINT, nullptr, &g_previous_sigint);
    // Where SIGINT is ignored (a background job), it stays ignored.
    g_sigint_caught = g_previous_sigint.sa_handler != SIG_IGN;
    if (g_sigint_caught) sigaction(SIGINT, &action, nullptr);
    status_shown_on_terminal_ = isatty(STDERR_FILENO) == 1;
    next_status_ = Clock::now() + kFirstStatusAfter;
    status_length_ = 0;
}

bool ConsoleMonitor::stop_requested() { return g_interrupted != 0; }

void ConsoleMonitor::progress(std::uint64_t terms, double sum) {
    if (!status_shown_on_terminal_) return;
    const auto now = Clock::now();
    if (now < next_status_) return;
    next_status_ = now + kStatusEvery;
    const std::string status = "Summanden: " + std::to_string(terms) +
                               "   Zwischensumme: " + format_fixed(sum, 12) +
                               "   (Strg+C beendet die Summation)";
    write_to_terminal("\r" + status);
    status_length_ = std::max(status_length_, status.size());
}

void ConsoleMonitor::end() {
    if (status_length_ > 0) {
        write_to_terminal("\r" + std::string(status_length_ + kEchoRoom, ' ') + "\r");
    }
    status_length_ = 0;
    if (g_sigint_caught) sigaction(SIGINT, &g_previous_sigint, nullptr);
    g_sigint_caught = false;
}

}  // namespace reihen
