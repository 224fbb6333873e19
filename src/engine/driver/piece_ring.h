// The pieces in flight, in a ring of slots that each hold one piece's plan,
// its state and what its scan found: the one owner of pieces by number.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "kernels/slice.h"
#include "worker_pool.h"

namespace reihen::engine {

// What a piece is to be: indices n0 .. n0 + length - 1, scanned in the
// binade whose scale is `scale`. Its bounds follow from its block alone,
// never from the thread that scans it or when. Its indices are numbered by
// 32-bit positions on every processor.
struct PiecePlan {
    double n0 = 0.0;
    std::uint32_t length = 0;
    double scale = 0.0;
};

// Piece `id` lives in slot id % capacity; the slot is planned anew for a
// piece once the one before it there is finished. Planned by the main
// thread, scanned by any, kept by the first to finish it, then read by the
// main thread, in that order.
class PieceRing {
public:
    explicit PieceRing(std::size_t capacity);

    std::size_t capacity() const { return capacity_; }

    // Waits until the slot of `id` is free, then plans the piece there.
    void plan(std::uint64_t id, const PiecePlan& plan);

    // The plan of piece `id`, for a thread that took its number; false
    // where its slot was planned anew meanwhile (the thread took it long ago).
    bool read_plan(std::uint64_t id, PiecePlan& plan) const;

    // The first thread to finish piece `id` keeps its result: swapped with
    // `result`. A later one, or one whose piece was withdrawn, keeps nothing:
    // false.
    bool keep(std::uint64_t id, ScanResult& result);

    bool finished(std::uint64_t id) const;

    // The pieces before `end` that are not finished are finished as they
    // are, nothing kept; one whose result is being kept is let finish.
    void withdraw(std::uint64_t end);

    // A finished piece, for the main thread.
    PiecePlan planned(std::uint64_t id) const;
    const ScanResult& result(std::uint64_t id) const { return slot(id).result; }

    // The waits for a free slot that ended in sleep.
    std::uint64_t sleeps() const { return piece_finished_.sleeps(); }

private:
    // Each has cache lines of its own, as different threads write
    // neighbouring slots.
    struct alignas(64) Slot {
        // Written by the main thread while no thread may keep the slot's
        // result, and read by a thread that took the piece's number: `id`
        // tells it whether it read the piece of that number.
        std::atomic<std::uint64_t> id{UINT64_MAX};
        std::atomic<double> n0{0.0};
        std::atomic<std::uint32_t> length{0};
        std::atomic<double> scale{0.0};
        // 2 id + 1 while the piece's result is being kept, 2 id + 2 once it
        // is finished.
        std::atomic<std::uint64_t> state{0};
        ScanResult result;  // written by the thread that keeps it
    };

    Slot& slot(std::uint64_t id) { return slots_[id % capacity_]; }
    const Slot& slot(std::uint64_t id) const { return slots_[id % capacity_]; }

    const std::size_t capacity_;
    std::unique_ptr<Slot[]> slots_;
    Wakeup piece_finished_;
    std::chrono::nanoseconds main_spin_ = Wakeup::kLongestSpin;
};

}  // namespace reihen::engine
