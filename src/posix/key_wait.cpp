#include "key_wait.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "held_mode.h"
#include "posix_terminal_keys.h"

namespace reihen {
namespace {

// Signals that end the program by default; the terminal's mode is restored
// first. SIGTSTP restores it and stops; SIGCONT enters raw input again.
constexpr std::array kAllSignals{SIGTERM, SIGHUP, SIGQUIT, SIGINT, SIGTSTP, SIGCONT};

// Shared with the signal handlers, which may only touch plain data: the
// terminal and its mode before the wait, set while RawTerminal lives.
int g_tty = -1;
termios g_saved_mode{};
volatile std::sig_atomic_t g_resume_raw = 0;

// The calls below are async-signal-safe; inside a handler there is nothing
// better to do when one of them fails, so their results are not looked at.
void restore_mode() { (void)tcsetattr(g_tty, TCSANOW, &g_saved_mode); }

void set_default_action(int signal_number) {
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    (void)sigaction(signal_number, &default_action, nullptr);
}

void on_ending_signal(int signal_number) {
    restore_mode();
    // Die of the same signal: it is blocked while this handler runs and
    // arrives as soon as the handler returns.
    set_default_action(signal_number);
    (void)raise(signal_number);
}

void on_stop_signal(int signal_number) {
    const int saved_errno = errno;
    restore_mode();
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
    g_resume_raw = 1;
    errno = saved_errno;
}

void on_continue(int) { g_resume_raw = 1; }

termios raw_mode(termios mode) {
    // Keys arrive one by one as they are typed, unechoed; Ctrl-C, Ctrl-Z,
    // Ctrl-\, Ctrl-S, Ctrl-Q, Ctrl-V and Enter come as their plain bytes.
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    mode.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    return mode;
}

// The terminal in raw mode for as long as this object lives, with the
// signal handlers that keep the mode safe. Signals are held back except
// while waiting in ppoll, so a handler never runs between two steps here.
class RawTerminal {
public:
    RawTerminal(int tty, const termios& saved) : raw_(raw_mode(saved)) {
        g_tty = tty;
        g_saved_mode = saved;
        sigset_t handled;
        sigemptyset(&handled);
        for (const int sig : kAllSignals) sigaddset(&handled, sig);
        pthread_sigmask(SIG_BLOCK, &handled, &wait_mask_);
        for (std::size_t i = 0; i < kAllSignals.size(); ++i) {
            const int sig = kAllSignals[i];
            struct sigaction action {};
            action.sa_mask = handled;
            action.sa_handler = sig == SIGTSTP   ? on_stop_signal
                                : sig == SIGCONT ? on_continue
                                                 : on_ending_signal;
            sigaction(sig, nullptr, &previous_[i]);
            // A signal the user's environment ignores stays ignored.
            if (previous_[i].sa_handler != SIG_IGN) sigaction(sig, &action, nullptr);
        }
        // TCSANOW keeps the keys that were typed before.
        ok_ = tcsetattr(tty, TCSANOW, &raw_) == 0;
    }

    ~RawTerminal() {
        restore_mode();
        for (std::size_t i = 0; i < kAllSignals.size(); ++i) {
            sigaction(kAllSignals[i], &previous_[i], nullptr);
        }
        pthread_sigmask(SIG_SETMASK, &wait_mask_, nullptr);
        g_tty = -1;
    }

    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    bool ok() const { return ok_; }

    // After a stop, or after the shell changed the mode, raw input again.
    void resume_if_continued() {
        if (g_resume_raw != 0) {
            g_resume_raw = 0;
            tcsetattr(g_tty, TCSANOW, &raw_);
        }
    }

    // Waits until the terminal has input or a signal came; false on a signal.
    bool wait_readable(const timespec* timeout, bool& timed_out) {
        pollfd entry{g_tty, POLLIN, 0};
        const int ready = ppoll(&entry, 1, timeout, &wait_mask_);
        timed_out = ready == 0;
        return ready >= 0 || errno != EINTR;
    }

private:
    const termios raw_;
    sigset_t wait_mask_{};
    std::array<struct sigaction, kAllSignals.size()> previous_{};
    bool ok_ = false;
};

class TerminalBytes : public ByteSource {
public:
    explicit TerminalBytes(RawTerminal& terminal) : terminal_(terminal) {}

    int next_byte(bool short_wait) override {
        static constexpr timespec kKeyGap{0, 50'000'000};
        for (;;) {
            terminal_.resume_if_continued();
            bool timed_out = false;
            if (!terminal_.wait_readable(short_wait ? &kKeyGap : nullptr, timed_out)) continue;
            if (timed_out) return kTimedOut;
            unsigned char byte = 0;
            const ssize_t got = read(g_tty, &byte, 1);
            if (got == 1) return byte;
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            return kFailed;  // end of file (hang-up) or a read error
        }
    }

private:
    RawTerminal& terminal_;
};

}  // namespace

int wait_for_key() {
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return kNoKey;
    int code = kNoKey;
    termios saved{};
    if (isatty(tty) == 1 && tcgetattr(tty, &saved) == 0) {
        // Where the program holds the terminal, the mode before that is the
        // one to leave behind, also when a signal ends the wait.
        mode_before_hold(saved);
        g_resume_raw = 0;
        RawTerminal terminal(tty, saved);
        if (terminal.ok()) {
            TerminalBytes bytes(terminal);
            code = read_key_code(bytes);
        }
    }
    close(tty);
    return code;
}

// Exit statuses are 8 bits here: -1 (no key to be had) becomes 255, and
// every other code already fits.
int exit_status(int key_code) { return key_code & 0xFF; }

}  // namespace reihen
