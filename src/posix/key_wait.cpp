#include "keys/key_wait.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "console/run_phases.h"
#include "key_wait_terminal.h"
#include "keys/posix_terminal_keys.h"

namespace reihen {
namespace {

// The terminal's bytes as the key wait reads them, in raw mode.
class TerminalBytes : public ByteSource {
public:
    int next_byte(bool short_wait) override {
        static constexpr timespec kKeyGap{0, 50'000'000};
        for (;;) {
            // After a stop, or after the shell changed the mode, raw input
            // again.
            if (continued_since_asked()) enter_phase(RunPhase::kKeyWait);
            bool timed_out = false;
            if (!wait_readable(short_wait ? &kKeyGap : nullptr, timed_out)) continue;
            if (timed_out) return kTimedOut;
            unsigned char byte = 0;
            const ssize_t got = read(key_wait_tty(), &byte, 1);
            if (got == 1) return byte;
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            return kFailed;  // end of file (hang-up) or a read error
        }
    }

private:
    // Waits until the terminal has input or a signal came; false on a
    // signal, which is let through only here.
    static bool wait_readable(const timespec* timeout, bool& timed_out) {
        pollfd entry{key_wait_tty(), POLLIN, 0};
        const int ready = ppoll(&entry, 1, timeout, &key_wait_mask());
        timed_out = ready == 0;
        return ready >= 0 || errno != EINTR;
    }
};

}  // namespace

int wait_for_key() {
    int code = kNoKey;
    if (enter_phase(RunPhase::kKeyWait)) {
        TerminalBytes bytes;
        code = read_key_code(bytes);
    }
    // Nothing follows the key wait: the terminal and the signals as they
    // were found.
    enter_phase(RunPhase::kDialogue);
    return code;
}

// Exit statuses are 8 bits here: -1 (no key to be had) becomes 255, and
// every other code already fits.
int exit_status(int key_code) { return key_code & 0xFF; }

}  // namespace reihen
