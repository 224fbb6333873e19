// What the key wait reads, from the owner of the run's phases.
#pragma once

#include <windows.h>

namespace reihen {

// In RunPhase::kKeyWait: the console's input, in mode 0.
HANDLE key_wait_console();

}  // namespace reihen
