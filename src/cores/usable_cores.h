// How many processor cores this process may use.
#pragma once

namespace reihen {

// The cores the process is allowed to run on (its affinity), not all that
// the machine has: where it is confined to fewer, more threads would only
// take turns. On Linux, no more than its control group's CPU quota allows,
// rounded up. At least 1.
unsigned usable_cores();

}  // namespace reihen
