// Waiting for one key press on the controlling terminal.
#pragma once

namespace reihen {

// Reads one key press from the controlling terminal (never from standard
// input) in raw mode and returns its code as read_key_code() gives it, or -1
// at once when there is no terminal or reading from it fails. Keys typed
// before the call count. The terminal's mode is restored before returning,
// and also when a signal ends or stops the program meanwhile.
int wait_for_key();

}  // namespace reihen
