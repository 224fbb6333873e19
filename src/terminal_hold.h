// The terminal while the sum is computed and the key awaited: what was
// written reaches the screen whole, and what is typed waits for the key
// wait, unechoed.
#pragma once

#include <chrono>

namespace reihen {

// From hold_terminal() to release_terminal(): on the terminal that the key
// wait reads, where the program runs in its foreground, the interrupt key
// does not discard the output still on its way (NOFLSH), and nothing typed
// is echoed. A program stopped meanwhile (Ctrl-Z) erases the status row
// first and leaves the terminal's mode as it found it while stopped, and
// holds the terminal again once continued there. The mode from before is
// restored at the end, and also when a signal ends the program. A program
// in the background leaves the terminal alone.
void hold_terminal();
void release_terminal();

// Whether the status row is on the screen, for a stop to erase it.
void note_status_row(bool shown);

// How long the program has been stopped since hold_terminal().
std::chrono::nanoseconds time_stopped();

// True once after each time the program was continued after a stop.
bool continued_since_asked();

}  // namespace reihen
