#include "worker_pool.h"

#include <system_error>

#include "processor_time.h"

namespace reihen::engine {

// The processor's hint that this thread spins, which leaves more of the
// core to another thread on it and saves power.
void Wakeup::relax() {
#if defined(__x86_64__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__ARM_ARCH_7A__)
    __asm__ __volatile__("yield");
#endif
}

void Wakeup::notify() {
    if (sleepers_.load() > 0) {
        epoch_.fetch_add(1);
        wake_all(epoch_);
    }
}

std::thread WorkerPool::start_thread(std::function<void()> body) {
    return std::thread(std::move(body));
}

WorkerPool::WorkerPool(unsigned first, unsigned most, PieceWork& pieces, const StartThread& start)
    : work_(pieces),
      alone_since_(Clock::now()),
      start_(start),
      most_(std::max(most, 1U)),
      core_share_(most_),
      growth_(most_, thread_processor_time().has_value()) {
    start_threads(first);
}

// Up to `count` threads in all.
void WorkerPool::start_threads(unsigned count) {
    while (size() < std::min(count, most_)) {
        const unsigned index = size();
        try {
            workers_.push_back(start_([this, index] { work(index); }));
        } catch (const std::system_error&) {
            most_ = size();  // makes do with the threads it has
        }
    }
}

WorkerPool::~WorkerPool() {
    quitting_.store(true);
    work_handed_out_.notify();
    for (auto& worker : workers_) worker.join();
}

void WorkerPool::publish(std::uint64_t end) {
    const bool waiting = work_waiting();
    counters_.published.store(end);
    work_handed_out_.notify();
    if (size() < most_) grow(waiting);
}

// Where pieces were waiting: at once for the first other thread, then once
// a sample's time at most, as the threads' share of their cores is known.
void WorkerPool::grow(bool waiting) {
    if (!waiting) return;
    const auto now = Clock::now();
    if (size() > 1 && now < next_growth_) return;
    next_growth_ = now + CoreShare::kSample;
    start_threads(growth_.wanted(size(), waiting, core_share_.take(size())));
}

std::uint64_t WorkerPool::withdraw() {
    const std::uint64_t end = counters_.published.load(std::memory_order_relaxed);
    std::uint64_t taken = counters_.taken.load();
    while (taken < end && !counters_.taken.compare_exchange_weak(taken, end)) {
    }
    return end;
}

void WorkerPool::wait_for(std::uint64_t piece) {
    while (!work_.finished(piece)) {
        std::uint64_t other = 0;
        if (try_take(other)) {
            scan_on_main_thread(other);
            continue;
        }
        // Only pieces that other threads hold are left: the one needed is
        // waited for about as long as it takes, then scanned here too.
        const auto patience = 2 * piece_time_ + std::chrono::microseconds(20);
        if (Wakeup::spin_until([&] { return work_.finished(piece); }, Clock::now() + patience)) {
            return;
        }
        ++scanned_again_;
        scan_on_main_thread(piece);
    }
}

void WorkerPool::add_statistics(RunStatistics& statistics) const {
    const std::lock_guard lock(busy_mutex_);
    Clock::duration alone = alone_;
    if (busy_ == 0) alone += Clock::now() - alone_since_;
    statistics.threads = size();
    statistics.pieces = counters_.published.load();
    statistics.scanned_again = scanned_again_;
    statistics.sleeps = work_handed_out_.sleeps();
    statistics.alone = std::chrono::duration<double>(alone).count();
}

void WorkerPool::work(unsigned index) {
    std::chrono::nanoseconds spin = Wakeup::kLongestSpin;
    bool busy = false;
    CoreShare::Meter meter(core_share_, index);
    for (;;) {
        std::uint64_t piece = 0;
        if (!try_take(piece)) {
            if (busy) note_busy(false);
            busy = false;
            work_handed_out_.wait([&] { return quitting_.load() || work_waiting(); }, spin);
            if (quitting_.load()) return;
            continue;
        }
        if (!busy) {
            note_busy(true);
            meter.begin();
        }
        busy = true;
        work_.scan(index, piece);
        meter.after_piece();
    }
}

bool WorkerPool::try_take(std::uint64_t& piece) {
    std::uint64_t taken = counters_.taken.load();
    while (taken < counters_.published.load()) {
        if (counters_.taken.compare_exchange_weak(taken, taken + 1)) {
            piece = taken;
            return true;
        }
    }
    return false;
}

bool WorkerPool::work_waiting() const {
    return counters_.taken.load() < counters_.published.load();
}

void WorkerPool::scan_on_main_thread(std::uint64_t piece) {
    if (workers_.empty()) return work_.scan(0, piece);
    const auto start = Clock::now();
    work_.scan(0, piece);
    piece_time_ += (Clock::now() - start - piece_time_) / 4;
}

// The main thread works alone while no other thread has work. A thread
// changes between the two only where it finds no work, seldom.
void WorkerPool::note_busy(bool busy) {
    const std::lock_guard lock(busy_mutex_);
    if (busy) {
        if (busy_++ == 0) alone_ += Clock::now() - alone_since_;
    } else if (--busy_ == 0) {
        alone_since_ = Clock::now();
    }
}

}  // namespace reihen::engine
