// The threads that scan a block's shares, and the barrier they meet at.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace reihen::engine {

// A reusable barrier for a fixed number of threads, of a mutex and a
// condition variable: it behaves the same with every thread library.
class Barrier {
public:
    explicit Barrier(unsigned count) : count_(count) {}

    void arrive_and_wait() {
        std::unique_lock lock(mutex_);
        const std::uint64_t phase = phase_;
        if (++arrived_ == count_) {
            next_phase();
        } else {
            all_arrived_.wait(lock, [&] { return phase_ != phase; });
        }
    }

    // One thread fewer from now on.
    void drop() {
        const std::lock_guard lock(mutex_);
        --count_;
        if (count_ > 0 && arrived_ == count_) next_phase();
    }

private:
    void next_phase() {
        arrived_ = 0;
        ++phase_;
        all_arrived_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable all_arrived_;
    unsigned count_;
    unsigned arrived_ = 0;
    std::uint64_t phase_ = 0;
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

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void run(const std::function<void(unsigned)>& job) {
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
    bool quitting_ = false;
    std::vector<std::thread> workers_;
};

// The number of threads to run, from what the system reports.
unsigned thread_count();

}  // namespace reihen::engine
