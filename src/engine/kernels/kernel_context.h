// What the kernels of one piece work from: the series' exponent and its
// coefficients, the rules of the binade the piece is scanned for; and one
// anchor of the piece, whose approximations classify its indices (P2).
#pragma once

#include <cstddef>

#include "term_approximation.h"
#include "units.h"

namespace reihen::engine {

struct KernelContext {
    double s;
    Binomial c;               // of (1 + x)^-s (P2)
    Binomial inverse_series;  // of (1 + r)^(-1/s) (P4b)
    Rules rules;
};

// The indices a + i, i < count, of one anchor a, from position `first` of
// its slice on, and a's term: computed, or derived from the anchor before.
struct Anchor {
    double a;
    std::size_t first;
    std::size_t count;
    double term;
};

}  // namespace reihen::engine
