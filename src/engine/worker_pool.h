// The threads that scan a block's shares, and the barriers they meet at.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace reihen::engine {

// A reusable barrier for a fixed number of threads. A thread that arrives
// early spins for a moment before it sleeps: at the end of a balanced block
// the others come soon, and putting a thread to sleep and waking it costs
// far more than that on some systems.
class Barrier {
public:
    explicit Barrier(unsigned count) : count_(count) {}

    void arrive_and_wait();

    // One thread fewer from now on; only before the thread that calls it
    // has arrived.
    void drop();

    // How many waits ended in sleep.
    std::uint64_t sleeps() const { return sleeps_; }

private:
    bool passed(std::uint64_t phase) const { return phase_.load() != phase; }
    void next_phase();

    std::mutex mutex_;
    std::condition_variable all_arrived_;
    std::atomic<unsigned> count_;
    std::atomic<unsigned> arrived_{0};
    std::atomic<std::uint64_t> phase_{0};
    std::atomic<unsigned> sleepers_{0};
    std::atomic<std::uint64_t> sleeps_{0};
};

// Runs one job on up to `count` threads, the caller's among them. Where the
// system refuses more threads, it makes do with those it has.
class WorkerPool {
public:
    explicit WorkerPool(unsigned count) : start_(count), done_(count) {
        for (unsigned index = 1; index < count; ++index) {
            try {
                workers_.emplace_back([this, index] { work(index); });
            } catch (const std::system_error&) {
                // The places of the threads that could not be made.
                for (unsigned missing = index; missing < count; ++missing) {
                    start_.drop();
                    done_.drop();
                }
                break;
            }
        }
    }

    // The number of threads that run a job, the caller's included.
    unsigned size() const { return static_cast<unsigned>(workers_.size()) + 1; }

    ~WorkerPool() {
        quitting_ = true;
        start_.arrive_and_wait();
        for (auto& worker : workers_) worker.join();
    }

    // The jobs run so far, and the waits at the barriers that ended in sleep.
    std::uint64_t rounds() const { return rounds_; }
    std::uint64_t sleeps() const { return start_.sleeps() + done_.sleeps(); }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void run(const std::function<void(unsigned)>& job) {
        ++rounds_;
        job_ = &job;
        start_.arrive_and_wait();
        job(0);
        done_.arrive_and_wait();
    }

private:
    void work(unsigned index) {
        for (;;) {
            start_.arrive_and_wait();
            if (quitting_) return;
            (*job_)(index);
            done_.arrive_and_wait();
        }
    }

    Barrier start_;
    Barrier done_;
    const std::function<void(unsigned)>* job_ = nullptr;
    std::uint64_t rounds_ = 0;
    bool quitting_ = false;
    std::vector<std::thread> workers_;
};

// The number of threads to run: one for each core the process may use.
unsigned thread_count();

}  // namespace reihen::engine
