#include "summation.h"

#include <cmath>
#include <ostream>
#include <string>

#include "number_text.h"

namespace reihen {

double sum_series(double s, double limit, int report, std::ostream& out) {
    double sum = 0.0;
    // The index is a double on purpose: from 2^53 on, adding 1.0 no longer
    // changes it, exactly as the stop rule expects.
    double n = 1.0;
    for (;;) {
        const double term = 1.0 / std::pow(n, s);
        // Written so that a NaN on either side stops the loop as well.
        if (!(term > limit)) break;
        sum += term;
        n += 1.0;
        if (report == 1) {
            out << "Zwischensumme: " << format_fixed(sum, 12)
                << "   Summand: " << format_fixed(term, 15) << std::endl;
        }
    }
    return sum;
}

}  // namespace reihen
