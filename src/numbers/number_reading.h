// Reading numbers from a stream.
//
// The reading follows the rules of formatted extraction in the classic
// locale, but reports range errors the way C's strtod does: a value that
// overflows, or a nonzero value that would come out below the smallest normal
// double, is not read. Memory stays bounded whatever the length of the input.
#pragma once

#include <iosfwd>

namespace reihen {

// Skips leading white space, then reads a decimal floating-point number:
// optional sign, digits with an optional '.', optional exponent ('e' or 'E',
// optional sign, at least one digit). Stops before the first character that
// cannot continue the number. On failure (no number, an exponent mark without
// digits, end of input, range error) `value` is set to 0 and the stream's
// failbit is set; a stream that has already failed is not read at all.
bool read_real(std::istream& in, double& value);

// The same for a decimal integer with optional sign that must fit in an int.
bool read_int(std::istream& in, int& value);

}  // namespace reihen
