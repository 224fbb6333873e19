// What the platform provides while a long summation runs: the interrupt key
// (Ctrl+C) as a request to end the summation, and the terminal on standard
// error for a status line.
#pragma once

#include <string>

namespace reihen {

// From catch_interrupt() to release_interrupt(), the interrupt key ends the
// summation instead of the program: interrupt_requested() turns true.
void catch_interrupt();
bool interrupt_requested();
void release_interrupt();

// Whether standard error is a terminal, and unbuffered writing to it.
bool error_is_terminal();
void write_error(const std::string& text);

}  // namespace reihen
