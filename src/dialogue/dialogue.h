// The program's whole conversation with the user.
#pragma once

#include <functional>
#include <iosfwd>

#include "dialogue/summation.h"

namespace reihen {

// Waits for one key press and returns its code, or -1 when no key can be read.
using KeySource = std::function<int()>;

// Asks for the exponent s, the limit exponent G and the report switch,
// writes the sum of the series with limit 10^G, then waits for a key.
// `monitor` watches the summation. Where `out` cannot be written, one line
// on `errors` says so. Returns the key's code.
int run_dialogue(std::istream& in, std::ostream& out, std::ostream& errors,
                 const KeySource& wait_for_key, SummationMonitor& monitor);

}  // namespace reihen
