// The interrupt key (Ctrl+C) as a request to end a long summation.
#pragma once

namespace reihen {

// From catch_interrupt() to release_interrupt(), the interrupt key ends the
// summation instead of the program: interrupt_requested() turns true.
void catch_interrupt();
bool interrupt_requested();
void release_interrupt();

}  // namespace reihen
