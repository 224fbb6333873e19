// Summation of the series 1/1^s + 1/2^s + 1/3^s + ...
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
    virtual void end() {}
};

// The plain loop: adds the terms 1.0 / pow(n, s) for n = 1, 2, 3, ... in that
// order, one double addition each, for as long as the next term is strictly
// greater than `limit`, and returns the sum. When `report` equals 1, each
// addition writes the line "Zwischensumme: <sum>   Summand: <term>" to `out`.
// Every other way of summing must give exactly its result.
double sum_series_plain(double s, double limit, int report, std::ostream& out);

// The same sum, but bounded and fast: without report lines the terms are
// computed on all cores, and the summation ends as soon as no later term can
// change the sum (for s > 0; s = 0 gives at once the value the plain loop
// would keep forever). It also ends once the sum is infinite, or when the
// monitor asks for it, with the sum reached so far.
double sum_series(double s, double limit, int report, std::ostream& out, SummationMonitor& monitor);

}  // namespace reihen
