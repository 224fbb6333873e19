// How many threads scan a run's blocks: more are started only while the
// work can use them.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "processor_time.h"

namespace reihen::engine {

// The share of a core that the pool's threads (the caller's aside) got while
// they had work: each thread measures its own processor time against the
// time passed, as the system counts its own thread's time precisely; a
// machine whose cores are fewer than the threads, because it reports more
// processors than it has or other programs hold them, gives each less than
// a whole core.
class CoreShare {
    struct Slot;

public:
    explicit CoreShare(unsigned threads) : slots_(std::make_unique<Slot[]>(threads)) {}

    // One thread's measurement, in its slot: begun where it finds work,
    // given in at every kSample of the time it works.
    class Meter {
    public:
        Meter(CoreShare& share, unsigned thread) : slot_(share.slots_[thread]) {}
        void begin();
        void after_piece();

    private:
        using Clock = std::chrono::steady_clock;
        Slot& slot_;
        Clock::time_point since_{};
        std::optional<std::chrono::nanoseconds> used_since_;
    };

    // The share of threads 1 .. threads - 1 since the last share taken;
    // nothing where they measured less than kSample each on average, or
    // cannot measure.
    std::optional<double> take(unsigned threads);

    static constexpr std::chrono::nanoseconds kSample = std::chrono::milliseconds(1);

private:
    // Totals written by its thread and read by the caller's: a cache line
    // of its own.
    struct alignas(64) Slot {
        std::atomic<std::int64_t> used{0};    // processor time, in ns
        std::atomic<std::int64_t> passed{0};  // time passed meanwhile, in ns
    };
    std::unique_ptr<Slot[]> slots_;
    // The totals of all threads at the last share taken.
    std::int64_t taken_used_ = 0;
    std::int64_t taken_passed_ = 0;
};

// A thread more is started only where pieces were waiting that the threads
// running had not taken, and, beyond the first other thread, where the
// threads running each got at least kBusyShare of a core while they worked
// (CoreShare). Once they got less, the threads take turns on fewer cores,
// and another one would only take turns with them: no more are started in
// the run. Where the platform does not measure a thread's processor time,
// the waiting pieces alone decide. The number grows by half at each step,
// from the caller's thread alone up to `most`.
class ThreadGrowth {
public:
    static constexpr double kBusyShare = 0.9;

    ThreadGrowth(unsigned most, bool measured) : most_(most), measured_(measured) {}

    // The threads wanted where `running` run now, pieces were `waiting`,
    // and the threads got `share` of a core each since it was last known.
    unsigned wanted(unsigned running, bool waiting, std::optional<double> share) {
        if (share && *share < kBusyShare) taking_turns_ = true;
        if (running >= most_ || !waiting || taking_turns_) return running;
        const bool busy = running == 1 || !measured_ || share.has_value();
        return busy ? std::min(most_, running + std::max(1U, running / 2)) : running;
    }

private:
    const unsigned most_;
    const bool measured_;
    bool taking_turns_ = false;
};

}  // namespace reihen::engine
