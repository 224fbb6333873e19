// What the key wait reads, from the owner of the run's phases.
#pragma once

#include <csignal>

namespace reihen {

// In RunPhase::kKeyWait: the terminal, in raw mode, and the signal mask to
// wait for input under. The signals the phases handle are held back but
// while waiting, so that no handler runs between two steps of the reading.
int key_wait_tty();
const sigset_t& key_wait_mask();

}  // namespace reihen
