// The series' terms and the plain loop that defines its sum: the ground
// every other way of summing stands on, and must give exactly the result of.
#pragma once

#include <cfloat>

// Every sum is the one of doubles, each operation rounded to double. A
// compiler that evaluates in wider registers (the x87 unit of 32-bit x86)
// would round twice and give other sums.
static_assert(FLT_EVAL_METHOD == 0,
              "reihen needs doubles evaluated as doubles, but this compiler evaluates "
              "floating point wider (FLT_EVAL_METHOD != 0, as the x87 unit does): build "
              "with SSE2 doubles (g++ -msse2 -mfpmath=sse) or for a 64-bit processor");

namespace reihen {

// One term of the series, 1.0 / pow(n, s) with the program's pow (power.h):
// every engine computes a term it needs exactly through this one function,
// or as 1.0 / power(n, s) where it divides several at a time (a division
// rounds alike in every vector width).
double series_term(double n, double s);

// Where the plain loop stands: its sum and the index of its next term. The
// index is a double on purpose: from 2^53 on, adding 1.0 no longer changes
// it, exactly as the stop rule expects.
struct PlainSum {
    double sum = 0.0;
    double n = 1.0;
};

// One step of the plain loop with the term of index n: false where the term
// is not strictly greater than `limit`, which ends the loop (a NaN on either
// side ends it too); else the term is added and the index raised.
inline bool plain_step(PlainSum& at, double term, double limit) {
    if (!(term > limit)) return false;
    at.sum += term;
    at.n += 1.0;
    return true;
}

// The plain loop from `at` on: adds the terms 1.0 / pow(n, s) in the order
// of n, one double addition each, for as long as the next term is strictly
// greater than `limit`, and returns where it stopped. After each addition
// `added(sum, term)` is told of it, and ends the loop where it returns false.
template <class Added>
PlainSum plain_loop(PlainSum at, double s, double limit, Added&& added) {
    for (;;) {
        const double term = series_term(at.n, s);
        if (!plain_step(at, term, limit) || !added(at.sum, term)) return at;
    }
}

// The same from n = 1, returning the sum.
template <class Added>
double plain_loop(double s, double limit, Added&& added) {
    return plain_loop(PlainSum{}, s, limit, added).sum;
}

// The plain loop to its end.
double sum_series_plain(double s, double limit);

}  // namespace reihen
