#include "console/run_phases.h"

#include <fcntl.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "key_wait_terminal.h"

namespace reihen {
namespace {

// Shared with the signal handlers, which touch only plain data and
// lock-free atomics. The main thread changes the terminal, its modes and
// the phase only while the handled signals are blocked.
int g_tty = -1;
termios g_before{};      // the terminal's mode before the run
termios g_phase_mode{};  // the mode the phase keeps it in: held or raw
volatile std::sig_atomic_t g_phase = static_cast<int>(RunPhase::kDialogue);
volatile std::sig_atomic_t g_in_phase_mode = 0;
volatile std::sig_atomic_t g_interrupted = 0;
volatile std::sig_atomic_t g_status_shown = 0;
volatile std::sig_atomic_t g_continued = 0;
std::atomic<long long> g_stopped_ns{0};
static_assert(std::atomic<long long>::is_always_lock_free);

// Signals that end the program by default (the interrupt among them), a
// stop and a continuation; every other one is as the environment set it.
constexpr std::array kHandled{SIGTERM, SIGHUP, SIGQUIT, SIGINT, SIGTSTP, SIGCONT};
std::array<struct sigaction, kHandled.size()> g_previous{};
bool g_installed = false;
// The main thread's signal mask outside the key wait.
sigset_t g_open_mask{};

bool in_phase(RunPhase phase) { return g_phase == static_cast<int>(phase); }

// The calls below are async-signal-safe; inside a handler there is nothing
// better to do when one of them fails, so their results are not looked at.
long long now_ns() {
    timespec now{};
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Only the foreground's may change the terminal: a program in the
// background that tried would be stopped.
void enter_phase_mode() {
    if (g_tty >= 0 && tcgetpgrp(g_tty) == getpgrp() &&
        tcsetattr(g_tty, TCSANOW, &g_phase_mode) == 0) {
        g_in_phase_mode = 1;
    }
}

void leave_phase_mode() {
    if (g_in_phase_mode == 0) return;
    (void)tcsetattr(g_tty, TCSANOW, &g_before);
    g_in_phase_mode = 0;
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
    if (signal_number == SIGINT && in_phase(RunPhase::kSummation)) {
        g_interrupted = 1;
        return;
    }
    erase_status_row();
    leave_phase_mode();
    // Die of the same signal: it is blocked while this handler runs and
    // arrives as soon as the handler returns.
    set_default_action(signal_number);
    (void)raise(signal_number);
}

// Stops as the default action would, leaving the terminal as it was before
// and the status row erased; once continued, the phase's mode again.
void on_stop_signal(int signal_number) {
    const int saved_errno = errno;
    erase_status_row();
    leave_phase_mode();
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
    enter_phase_mode();
    g_continued = 1;
    errno = saved_errno;
}

// Continued after a stop that no handler saw (SIGSTOP), or after the shell
// changed the mode.
void on_continue(int) {
    const int saved_errno = errno;
    enter_phase_mode();
    g_continued = 1;
    errno = saved_errno;
}

sigset_t handled_signals() {
    sigset_t handled;
    sigemptyset(&handled);
    for (const int sig : kHandled) sigaddset(&handled, sig);
    return handled;
}

// The least that keeps the screen whole: the interrupt key flushes nothing,
// and typed keys, Enter too, are not echoed.
termios held_mode(termios mode) {
    mode.c_lflag |= NOFLSH;
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    return mode;
}

// Keys arrive one by one as they are typed, unechoed; Ctrl-C, Ctrl-Z,
// Ctrl-\, Ctrl-S, Ctrl-Q, Ctrl-V and Enter come as their plain bytes.
termios raw_mode(termios mode) {
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    mode.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    return mode;
}

// The terminal the program runs on, where it has one, and the handlers;
// with the handled signals blocked.
void install(const sigset_t& handled) {
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0 && isatty(tty) == 1 && tcgetattr(tty, &g_before) == 0) {
        g_tty = tty;
    } else if (tty >= 0) {
        close(tty);
    }
    for (std::size_t i = 0; i < kHandled.size(); ++i) {
        const int sig = kHandled[i];
        struct sigaction action {};
        action.sa_mask = handled;
        // Output on its way and a read in progress go on after a handler.
        action.sa_flags = SA_RESTART;
        action.sa_handler = sig == SIGTSTP   ? on_stop_signal
                            : sig == SIGCONT ? on_continue
                                             : on_ending_signal;
        sigaction(sig, nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) sigaction(sig, &action, nullptr);
    }
    g_installed = true;
}

// The terminal as it was found, and every handler as it was.
void uninstall() {
    leave_phase_mode();
    for (std::size_t i = 0; i < kHandled.size(); ++i) {
        sigaction(kHandled[i], &g_previous[i], nullptr);
    }
    g_installed = false;
    if (g_tty >= 0) close(g_tty);
    g_tty = -1;
}

// The phase's mode from the main thread. The key wait needs the terminal
// even in the background, where this stops the program until it is in the
// foreground; the other phases leave a terminal in the background alone.
bool set_phase_mode(RunPhase phase) {
    g_phase_mode = phase == RunPhase::kKeyWait ? raw_mode(g_before) : held_mode(g_before);
    if (phase != RunPhase::kKeyWait) {
        enter_phase_mode();
        return g_in_phase_mode != 0;
    }
    // TCSANOW keeps the keys that were typed before.
    const bool raw = g_tty >= 0 && tcsetattr(g_tty, TCSANOW, &g_phase_mode) == 0;
    if (raw) g_in_phase_mode = 1;
    return raw;
}

}  // namespace

bool enter_phase(RunPhase phase) {
    const sigset_t handled = handled_signals();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &handled, &before);
    if (!in_phase(RunPhase::kKeyWait)) g_open_mask = before;
    bool in_mode = true;
    if (phase == RunPhase::kDialogue) {
        if (g_installed) uninstall();
    } else {
        if (!g_installed) install(handled);
        if (phase == RunPhase::kSummation && !in_phase(RunPhase::kSummation)) {
            g_interrupted = 0;
            g_stopped_ns = 0;
            g_continued = 0;
            g_status_shown = 0;
        }
        in_mode = set_phase_mode(phase);
    }
    g_phase = static_cast<int>(phase);
    // The key wait lets the signals through only while it waits for input.
    if (phase != RunPhase::kKeyWait) pthread_sigmask(SIG_SETMASK, &g_open_mask, nullptr);
    return in_mode;
}

bool interrupt_requested() { return g_interrupted != 0; }

void note_status_row(bool shown) { g_status_shown = shown ? 1 : 0; }

std::chrono::nanoseconds time_stopped() { return std::chrono::nanoseconds(g_stopped_ns.load()); }

bool continued_since_asked() {
    if (g_continued == 0) return false;
    g_continued = 0;
    return true;
}

int key_wait_tty() { return g_tty; }

const sigset_t& key_wait_mask() { return g_open_mask; }

}  // namespace reihen
