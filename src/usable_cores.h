// How many processor cores this process may run on.
#pragma once

namespace reihen {

// The cores the process is allowed to use (its affinity), not all that the
// machine has: where it is confined to fewer, more threads would only take
// turns. At least 1.
unsigned usable_cores();

}  // namespace reihen
