// Waiting for one key press on the console or terminal.
#pragma once

namespace reihen {

// Reads one key press from the console's own keyboard (never from standard
// input), with nothing echoed, and returns its code: a character's code, 0 or
// 224 for a special key, or -1 at once when there is no console or reading
// from it fails. Keys typed before the call count. The console's mode is
// restored before returning.
int wait_for_key();

// The process exit status for a key code, as the platform can show it.
int exit_status(int key_code);

}  // namespace reihen
