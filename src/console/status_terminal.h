// The terminal on standard error, where a long run shows its status line.
#pragma once

#include <string>

namespace reihen {

// Whether standard error is a terminal that can show a status line: a
// console on Windows; elsewhere a terminal that follows cursor control,
// which a "dumb" one (an editor's shell buffer) does not.
bool error_shows_status();

// The terminal's width in columns now, 80 where it cannot be had.
int error_terminal_width();

// Replaces what the cursor's row shows with `line`, which must be shorter
// than the row, and leaves the cursor behind it.
void show_status(const std::string& line);

// Erases the cursor's row and puts the cursor at its start, so that the row
// is as if nothing had been written there.
void clear_status();

}  // namespace reihen
