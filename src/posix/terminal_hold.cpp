#include "terminal_hold.h"

#include <fcntl.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "held_mode.h"

namespace reihen {
namespace {

// Shared with the signal handlers, which touch only plain data and
// lock-free atomics: the terminal while it is held, its mode before and
// while held, and whether it is in that mode now.
int g_tty = -1;
termios g_before{};
termios g_held{};
volatile std::sig_atomic_t g_in_held_mode = 0;
volatile std::sig_atomic_t g_status_shown = 0;
volatile std::sig_atomic_t g_continued = 0;
std::atomic<long long> g_stopped_ns{0};
static_assert(std::atomic<long long>::is_always_lock_free);

// Signals that end the program by default, a stop and a continuation.
// SIGINT ends the summation while it runs (interrupt.h), the program
// before and after.
constexpr std::array kHandled{SIGTERM, SIGHUP, SIGQUIT, SIGINT, SIGTSTP, SIGCONT};
std::array<struct sigaction, kHandled.size()> g_previous{};
bool g_installed = false;

// The calls below are async-signal-safe; inside a handler there is nothing
// better to do when one of them fails, so their results are not looked at.
long long now_ns() {
    timespec now{};
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Only the foreground's may change the terminal: a program in the
// background that tried would be stopped.
void enter_held_mode() {
    if (g_tty >= 0 && tcgetpgrp(g_tty) == getpgrp() && tcsetattr(g_tty, TCSANOW, &g_held) == 0) {
        g_in_held_mode = 1;
    }
}

void leave_held_mode() {
    if (g_in_held_mode == 0) return;
    (void)tcsetattr(g_tty, TCSANOW, &g_before);
    g_in_held_mode = 0;
}

void erase_status_row() {
    if (g_status_shown == 0) return;
    static constexpr char kErase[] = "\r\x1b[K";
    const ssize_t written = write(STDERR_FILENO, kErase, sizeof kErase - 1);
    (void)written;
    g_status_shown = 0;
}

void set_default_action(int signal_number) {
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    (void)sigaction(signal_number, &default_action, nullptr);
}

void on_ending_signal(int signal_number) {
    erase_status_row();
    leave_held_mode();
    // Die of the same signal: it is blocked while this handler runs and
    // arrives as soon as the handler returns.
    set_default_action(signal_number);
    (void)raise(signal_number);
}

// Stops as the default action would, leaving the terminal as it was before
// and the status row erased; once continued, holds the terminal again.
void on_stop_signal(int signal_number) {
    const int saved_errno = errno;
    erase_status_row();
    leave_held_mode();
    const long long stopped_at = now_ns();
    struct sigaction own {};
    (void)sigaction(signal_number, nullptr, &own);
    set_default_action(signal_number);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signal_number);
    (void)raise(signal_number);  // pending until unblocked: raise returns
    // cppcheck-suppress unreachableCode
    (void)pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);  // the process stops here
    (void)sigaction(signal_number, &own, nullptr);
    g_stopped_ns.fetch_add(now_ns() - stopped_at);
    enter_held_mode();
    g_continued = 1;
    errno = saved_errno;
}

// Continued after a stop that no handler saw (SIGSTOP).
void on_continue(int) {
    const int saved_errno = errno;
    enter_held_mode();
    g_continued = 1;
    errno = saved_errno;
}

sigset_t handled_signals() {
    sigset_t handled;
    sigemptyset(&handled);
    for (const int sig : kHandled) sigaddset(&handled, sig);
    return handled;
}

}  // namespace

void hold_terminal() {
    if (g_installed) return;
    g_stopped_ns = 0;
    g_continued = 0;
    g_status_shown = 0;
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0 && isatty(tty) == 1 && tcgetattr(tty, &g_before) == 0) {
        // The least that keeps the screen whole: the interrupt key flushes
        // nothing, and typed keys, Enter too, are not echoed.
        g_held = g_before;
        g_held.c_lflag |= NOFLSH;
        g_held.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
        g_tty = tty;
    } else if (tty >= 0) {
        close(tty);
    }
    const sigset_t handled = handled_signals();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &handled, &before);
    for (std::size_t i = 0; i < kHandled.size(); ++i) {
        const int sig = kHandled[i];
        struct sigaction action {};
        action.sa_mask = handled;
        action.sa_handler = sig == SIGTSTP   ? on_stop_signal
                            : sig == SIGCONT ? on_continue
                                             : on_ending_signal;
        sigaction(sig, nullptr, &g_previous[i]);
        // A signal the user's environment ignores stays ignored.
        if (g_previous[i].sa_handler != SIG_IGN) sigaction(sig, &action, nullptr);
    }
    g_installed = true;
    enter_held_mode();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void release_terminal() {
    if (!g_installed) return;
    const sigset_t handled = handled_signals();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &handled, &before);
    leave_held_mode();
    for (std::size_t i = 0; i < kHandled.size(); ++i) {
        sigaction(kHandled[i], &g_previous[i], nullptr);
    }
    g_installed = false;
    if (g_tty >= 0) close(g_tty);
    g_tty = -1;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void note_status_row(bool shown) { g_status_shown = shown ? 1 : 0; }

std::chrono::nanoseconds time_stopped() { return std::chrono::nanoseconds(g_stopped_ns.load()); }

bool continued_since_asked() {
    if (g_continued == 0) return false;
    g_continued = 0;
    return true;
}

bool mode_before_hold(termios& mode) {
    if (g_tty < 0) return false;
    mode = g_before;
    return true;
}

}  // namespace reihen
