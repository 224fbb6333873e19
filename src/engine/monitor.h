// What a running summation tells its surroundings, and how they end it early.
#pragma once

#include <cstdint>

namespace reihen {

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

}  // namespace reihen
