// The run from n = 2^53 on, where n + 1 == n and the term is one fixed
// value for ever.
#pragma once

#include <cstdint>

namespace reihen {

// What adding `term` to `sum` (not negative) `times` times (infinity: for
// ever) one by one gives, in closed form: the sum the plain loop keeps once
// its index no longer grows. Where given, `binades` counts the binades
// crossed in closed form.
double add_repeatedly(double sum, double term, double times, std::uint64_t* binades = nullptr);

}  // namespace reihen
