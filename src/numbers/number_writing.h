// Numbers as the program writes them: every printed result in fixed-point
// form, and the short form of the status line.
#pragma once

#include <string>

namespace reihen {

// Fixed-point text with `decimals` digits after the point, rounded half-up in
// two stages: first to 17 significant digits, then at the last printed place.
// Infinity and NaN give "inf", "-inf" and "nan".
std::string format_fixed(double value, int decimals);

// The same text, appended to `text`.
void append_fixed(std::string& text, double value, int decimals);

// The sum in a compact form: about 12 significant digits, fixed-point below
// 10^15 and in exponent form above ("1.23456789012e+63"), "inf" as such.
// Rounded to nearest from the exact value, not in the two stages of
// format_fixed: the status line is a glance at a run in progress, erased
// again, and its digits are never compared with the results printed.
std::string compact_number(double value);

}  // namespace reihen
