// The one-row status line that a long run shows on the terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace reihen {

// The status line for a terminal `width` columns wide: the count of terms
// added, the sum so far (compact_number), the time the run has run and how to end it. Shorter
// words are taken, and fields dropped, until the text fits in width - 1
// columns, which keeps the last column free (where terminals wrap): in 80
// columns all four fit, in 40 the count and the time. Empty where not even
// the count fits.
std::string status_line(std::uint64_t terms, double sum, std::chrono::seconds elapsed, int width);

}  // namespace reihen
