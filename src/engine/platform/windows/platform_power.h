// The pow of ucrtbase.dll, the C runtime of Windows since Windows 10 (and of
// Windows 8 and 8.1 with the Universal C Runtime update), which programs
// built with the platform's own compiler call. It is imported under a name
// of its own (ucrt_pow.def), apart from the compiler's support library's
// pow, which is slower for most exponents and errs more.
#pragma once

extern "C" __declspec(dllimport) double reihen_ucrt_pow(double x, double y);

namespace reihen {

inline double power(double x, double y) { return reihen_ucrt_pow(x, y); }

}  // namespace reihen
