// The search for where a run of indices that hold ends.
#pragma once

#include <algorithm>
#include <cmath>

namespace reihen::engine {

// The last index from p up to `last` for which `holds` is true, where it
// holds at p and, from p on, up to some index and no further: searched from
// a guess, which may be anything (NaN too), forward by doubling steps while
// it holds, back from it while it does not, then by bisection. A guess past
// p is always checked, also where it is the index right after p.
template <class Holds>
double last_holding(double p, double guess, double last, const Holds& holds) {
    double good = p;
    double bad = last + 1.0;  // the first index known not to hold, or past the end
    const double start = guess >= p ? std::min(guess, last) : p;  // also where it is NaN
    if (start == p || holds(start)) {
        good = start;
        double step = 1.0;
        while (good < last) {
            const double next = std::min(good + step, last);
            if (!holds(next)) {
                bad = next;
                break;
            }
            good = next;
            step *= 2.0;
        }
    } else {
        bad = start;
        double step = 1.0;
        while (bad - step > good) {
            const double next = bad - step;
            if (holds(next)) {
                good = next;
                break;
            }
            bad = next;
            step *= 2.0;
        }
    }
    while (bad - good > 1.0) {
        const double middle = std::floor(good + (bad - good) / 2.0);
        (holds(middle) ? good : bad) = middle;
    }
    return good;
}

}  // namespace reihen::engine
