#include "thread_growth.h"

namespace reihen::engine {

void CoreShare::Meter::begin() {
    since_ = Clock::now();
    used_since_ = thread_processor_time();
}

void CoreShare::Meter::after_piece() {
    if (!used_since_) return;
    const auto now = Clock::now();
    if (now - since_ < kSample) return;
    const std::optional<std::chrono::nanoseconds> used = thread_processor_time();
    if (!used) return;
    const auto passed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - since_);
    slot_.used.fetch_add((*used - *used_since_).count(), std::memory_order_relaxed);
    slot_.passed.fetch_add(passed.count(), std::memory_order_relaxed);
    since_ = now;
    used_since_ = used;
}

std::optional<double> CoreShare::take(unsigned threads) {
    std::int64_t used = 0;
    std::int64_t passed = 0;
    for (unsigned thread = 1; thread < threads; ++thread) {
        used += slots_[thread].used.load(std::memory_order_relaxed);
        passed += slots_[thread].passed.load(std::memory_order_relaxed);
    }
    // A thread that waits for its turn gives in nothing meanwhile, so the
    // threads must have measured a sample each on average.
    const std::int64_t new_passed = passed - taken_passed_;
    if (threads < 2 || new_passed < kSample.count() * (threads - 1)) return std::nullopt;
    const std::int64_t new_used = used - taken_used_;
    taken_used_ = used;
    taken_passed_ = passed;
    return static_cast<double>(new_used) / static_cast<double>(new_passed);
}

}  // namespace reihen::engine
