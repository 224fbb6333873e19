#include "interrupt.h"

#include <csignal>

namespace reihen {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_previous_sigint {};
bool g_sigint_caught = false;

void on_interrupt(int) { g_interrupted = 1; }

}  // namespace

void catch_interrupt() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // output in progress goes on
    sigaction(SIGINT, nullptr, &g_previous_sigint);
    // Where SIGINT is ignored (a background job), it stays ignored.
    g_sigint_caught = g_previous_sigint.sa_handler != SIG_IGN;
    if (g_sigint_caught) sigaction(SIGINT, &action, nullptr);
}

bool interrupt_requested() { return g_interrupted != 0; }

void release_interrupt() {
    if (g_sigint_caught) sigaction(SIGINT, &g_previous_sigint, nullptr);
    g_sigint_caught = false;
}

}  // namespace reihen
