#include "worker_pool.h"

#include <algorithm>
#include <chrono>

#include "usable_cores.h"

namespace reihen::engine {
namespace {

using Clock = std::chrono::steady_clock;

// About the time a thread takes to fall asleep and be woken again where
// that is slow, so that spinning costs at most as much as sleeping.
constexpr auto kSpin = std::chrono::microseconds(50);

void pause() {
#if defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

void Barrier::arrive_and_wait() {
    const std::uint64_t phase = phase_.load();
    if (arrived_.fetch_add(1) + 1 == count_.load()) {
        next_phase();
        return;
    }
    const auto until = Clock::now() + kSpin;
    for (unsigned spins = 1; !passed(phase); ++spins) {
        pause();
        if (spins % 64 == 0 && Clock::now() > until) break;
    }
    if (passed(phase)) return;
    // Sleep. Whoever completes the phase wakes the sleepers it sees; one
    // that counts itself as a sleeper after that sees the new phase instead
    // (both sides store before they load, in one order of all such steps).
    std::unique_lock lock(mutex_);
    sleepers_.fetch_add(1);
    if (!passed(phase)) {
        sleeps_.fetch_add(1);
        all_arrived_.wait(lock, [&] { return passed(phase); });
    }
    sleepers_.fetch_sub(1);
}

// Called by a thread that has not arrived, so the phase cannot complete
// through it.
void Barrier::drop() { count_.fetch_sub(1); }

void Barrier::next_phase() {
    arrived_.store(0);
    phase_.fetch_add(1);
    if (sleepers_.load() > 0) {
        const std::lock_guard lock(mutex_);
        all_arrived_.notify_all();
    }
}

unsigned thread_count() { return std::clamp(usable_cores(), 1U, 64U); }

}  // namespace reihen::engine
