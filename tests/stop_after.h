// A monitor that ends the summation once it was told of at least a given
// number of terms, and remembers what it was told last.
#pragma once

#include <cstdint>

#include "monitor.h"

class StopAfter : public reihen::SummationMonitor {
public:
    explicit StopAfter(std::uint64_t terms) : wanted_(terms) {}
    bool stop_requested() override { return terms_ >= wanted_; }
    void progress(std::uint64_t terms, double sum) override {
        terms_ = terms;
        sum_ = sum;
    }
    std::uint64_t terms_ = 0;
    double sum_ = 0.0;

private:
    std::uint64_t wanted_;
};
