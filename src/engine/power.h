// The pow that every number of the program is computed with: the terms of
// the series, the limit 10^G and the engine's guesses. On each platform it
// is the pow of the system's C runtime, the one that a program built with
// the platform's own compiler calls, so that the sums are those of the
// plain loop with that pow.
#pragma once

// reihen::power(x, y), inline, as the terms call it millions of times: the
// platform's, from the folder that CMake chooses.
#include "platform_power.h"
