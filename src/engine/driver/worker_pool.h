// The threads that scan the pieces of blocks as they are handed out.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "address_wait.h"
#include "settings.h"
#include "thread_growth.h"

namespace reihen::engine {

// Where a thread waits for something another thread does: it spins for a
// moment, as the wait is often short and putting a thread to sleep and
// waking it costs far more on some systems, then sleeps. How long it spins
// follows how often spinning was enough: where the threads outnumber the
// cores that run them, or another program holds a core, it seldom is, and
// the waiting thread soon sleeps almost at once and leaves its core to the
// work.
class Wakeup {
public:
    // About the time a thread takes to fall asleep and be woken again where
    // that is slow, so that spinning costs at most as much as sleeping; and
    // a spin so short that it costs nothing where it fails.
    static constexpr std::chrono::nanoseconds kLongestSpin = std::chrono::microseconds(50);
    static constexpr std::chrono::nanoseconds kShortestSpin = std::chrono::microseconds(1);

    // Returns once `ready()` holds; `spin` is the waiting thread's own
    // budget, which the wait adapts.
    template <class Ready>
    void wait(const Ready& ready, std::chrono::nanoseconds& spin) {
        if (spin_until(ready, std::chrono::steady_clock::now() + spin)) {
            spin = std::min(spin * 2, kLongestSpin);
            return;
        }
        spin = std::max(spin / 2, kShortestSpin);
        sleep_until(ready);
    }

    // Spins until `ready()` holds or the time is up; whether it holds.
    template <class Ready>
    static bool spin_until(const Ready& ready, std::chrono::steady_clock::time_point until) {
        for (unsigned spins = 1; !ready(); ++spins) {
            relax();
            if (spins % 32 == 0 && std::chrono::steady_clock::now() > until) return ready();
        }
        return true;
    }

    // Called after the state that `ready` reads was changed.
    void notify();

    // How many waits ended in sleep.
    std::uint64_t sleeps() const { return sleeps_.load(std::memory_order_relaxed); }

private:
    template <class Ready>
    void sleep_until(const Ready& ready) {
        // Whoever changes the state wakes the sleepers it sees, after it
        // has moved the epoch on; one that counts itself as a sleeper after
        // that sees the new state instead, and one counted before sees
        // either the new state or an epoch that is not the one it sleeps
        // on (both sides store before they load, in one order of all such
        // steps).
        sleepers_.fetch_add(1);
        bool slept = false;
        for (;;) {
            const std::uint32_t epoch = epoch_.load();
            if (ready()) break;
            if (!slept) sleeps_.fetch_add(1, std::memory_order_relaxed);
            slept = true;
            wait_while(epoch_, epoch);
        }
        sleepers_.fetch_sub(1);
    }

    static void relax();

    std::atomic<std::uint32_t> epoch_{0};  // moved on at each wake-up
    std::atomic<unsigned> sleepers_{0};
    std::atomic<std::uint64_t> sleeps_{0};
};

// What is done with each piece: scanned by any thread in a place of that
// thread's own, and kept as the piece's result by the first thread that
// finishes it.
class PieceWork {
public:
    virtual ~PieceWork() = default;
    virtual void scan(unsigned thread, std::uint64_t piece) = 0;
    virtual bool finished(std::uint64_t piece) const = 0;
};

// Scans pieces numbered 0, 1, 2, ... as they are handed out, on up to
// `most` threads, the caller's among them: `first` from the start, and more
// as the work can use them (ThreadGrowth); where the system refuses more
// threads, it makes do with those it has. The caller (the main thread)
// hands the pieces out in order and waits for each it needs, scanning pieces
// itself meanwhile; each other thread takes the next piece from a shared
// counter. A piece that the main thread needs and has waited for longer
// than a piece takes it scans too: the thread that holds it may have lost
// its core to another program, or be one of more threads than there are
// cores. The pool knows the pieces by their numbers only; what they are,
// and whether one is finished, its work tells.
class WorkerPool {
public:
    // Starts a thread running `body`, or throws std::system_error where the
    // system refuses one; tests refuse them on purpose.
    using StartThread = std::function<std::thread(std::function<void()> body)>;
    static std::thread start_thread(std::function<void()> body);

    WorkerPool(unsigned first, unsigned most, PieceWork& pieces,
               const StartThread& start = start_thread);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The number of threads that scan pieces, the caller's included.
    unsigned size() const { return static_cast<unsigned>(workers_.size()) + 1; }

    // The number of the next piece to be handed out.
    std::uint64_t next_piece() const { return counters_.published.load(std::memory_order_relaxed); }

    // Hands out the pieces before `end`, and starts more threads where the
    // work can use them.
    void publish(std::uint64_t end);

    // No piece handed out is taken any more; returns the end of those handed
    // out, for the work to finish the rest as they are.
    std::uint64_t withdraw();

    // Returns once `piece` is finished, scanning other pieces meanwhile.
    void wait_for(std::uint64_t piece);

    // What the threads did: the pieces handed out, those scanned again,
    // the waits for work that ended in sleep, the time the main thread
    // worked alone.
    void add_statistics(RunStatistics& statistics) const;

private:
    using Clock = std::chrono::steady_clock;

    void start_threads(unsigned count);
    void grow(bool waiting);
    void work(unsigned index);
    bool try_take(std::uint64_t& piece);
    bool work_waiting() const;
    void scan_on_main_thread(std::uint64_t piece);
    void note_busy(bool busy);

    // Taken and read by every thread: a cache line of their own.
    struct alignas(64) Counters {
        std::atomic<std::uint64_t> taken{0};  // the next piece to be taken
        std::atomic<std::uint64_t> published{0};
    };
    Counters counters_;
    PieceWork& work_;
    Clock::duration piece_time_{};  // about what a piece takes the main thread
    std::uint64_t scanned_again_ = 0;
    // Since when no other thread has had work, and how long that was so.
    Clock::time_point alone_since_;
    Clock::duration alone_{};
    std::vector<std::thread> workers_;
    const StartThread start_;
    unsigned most_;  // the threads the pool may run, the caller's included
    CoreShare core_share_;
    ThreadGrowth growth_;
    Clock::time_point next_growth_{};
    mutable std::mutex busy_mutex_;  // guards busy_, alone_since_ and alone_
    Wakeup work_handed_out_;
    unsigned busy_ = 0;  // how many other threads have work
    std::atomic<bool> quitting_{false};
};

// The most threads a pool runs.
constexpr unsigned kMostThreads = 64;

}  // namespace reihen::engine
