// The plain loop that defines the sum, and what a running summation tells
// its surroundings.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace reihen {

// What a running summation tells its surroundings, and how they end it early.
class SummationMonitor {
public:
    virtual ~SummationMonitor() = default;
    virtual void begin() {}
    // Polled often; true ends the summation with the sum reached so far.
    virtual bool stop_requested() { return false; }
    // Called often while no report lines are written.
    virtual void progress(std::uint64_t terms, double sum) {
        (void)terms;
        (void)sum;
    }
    // Called once where the summation ended early on request, with the
    // number of terms added.
    virtual void stopped(std::uint64_t terms) { (void)terms; }
    virtual void end() {}
};

// One term of the series, 1.0 / pow(n, s): every engine computes a term it
// needs exactly through this one function, or as 1.0 / series_power(n, s)
// where it divides several at a time (a division rounds alike in every
// vector width).
double series_term(double n, double s);
double series_power(double n, double s);

// The plain loop: adds the terms 1.0 / pow(n, s) for n = 1, 2, 3, ... in that
// order, one double addition each, for as long as the next term is strictly
// greater than `limit`, and returns the sum. Every other way of summing must
// give exactly its result.
double sum_series_plain(double s, double limit);

// The plain loop with its report lines: each addition writes the line
// "Zwischensumme: <sum>   Summand: <term>" to `out`. It ends early when the
// monitor asks, or once the sum is infinite (nothing can change it from
// there).
double sum_series_reported(double s, double limit, std::ostream& out, SummationMonitor& monitor);

}  // namespace reihen
