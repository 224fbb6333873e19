#include "plain_summation.h"

#include <cmath>
#include <ostream>
#include <string>

#include "number_text.h"

namespace reihen {
namespace {

// `line` is only a buffer, kept from one line to the next.
void write_report_line(std::ostream& out, std::string& line, double sum, double term) {
    line = "Zwischensumme: ";
    append_fixed(line, sum, 12);
    line += "   Summand: ";
    append_fixed(line, term, 15);
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

}  // namespace

double series_power(double n, double s) { return std::pow(n, s); }

double series_term(double n, double s) { return 1.0 / series_power(n, s); }

double sum_series_plain(double s, double limit) {
    double sum = 0.0;
    // The index is a double on purpose: from 2^53 on, adding 1.0 no longer
    // changes it, exactly as the stop rule expects.
    double n = 1.0;
    for (;;) {
        const double term = series_term(n, s);
        // Written so that a NaN on either side stops the loop as well.
        if (!(term > limit)) break;
        sum += term;
        n += 1.0;
    }
    return sum;
}

double sum_series_reported(double s, double limit, std::ostream& out, SummationMonitor& monitor) {
    double sum = 0.0;
    double n = 1.0;
    std::uint64_t terms = 0;
    std::string line;
    for (;;) {
        if (monitor.stop_requested()) {
            monitor.stopped(terms);
            break;
        }
        const double term = series_term(n, s);
        if (!(term > limit)) break;
        sum += term;
        n += 1.0;
        ++terms;
        write_report_line(out, line, sum, term);
        if (std::isinf(sum)) break;
    }
    return sum;
}

}  // namespace reihen
