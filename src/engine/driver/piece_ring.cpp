#include "piece_ring.h"

#include <utility>

namespace reihen::engine {

PieceRing::PieceRing(std::size_t capacity)
    : capacity_(capacity), slots_(std::make_unique<Slot[]>(capacity)) {}

void PieceRing::plan(std::uint64_t id, const PiecePlan& plan) {
    if (id >= capacity_) {
        const std::uint64_t before = id - capacity_;
        piece_finished_.wait([&] { return finished(before); }, main_spin_);
    }
    Slot& to = slot(id);
    // Each store follows the one of `id` before it: a thread that reads any
    // of the new values also reads the new `id` after.
    to.id.store(UINT64_MAX, std::memory_order_relaxed);
    to.n0.store(plan.n0, std::memory_order_release);
    to.length.store(plan.length, std::memory_order_release);
    to.scale.store(plan.scale, std::memory_order_release);
    to.id.store(id, std::memory_order_release);
}

bool PieceRing::read_plan(std::uint64_t id, PiecePlan& plan) const {
    const Slot& from = slot(id);
    if (from.id.load(std::memory_order_acquire) != id) return false;
    plan.n0 = from.n0.load(std::memory_order_acquire);
    plan.length = from.length.load(std::memory_order_acquire);
    plan.scale = from.scale.load(std::memory_order_acquire);
    return from.id.load(std::memory_order_relaxed) == id;
}

bool PieceRing::keep(std::uint64_t id, ScanResult& result) {
    Slot& to = slot(id);
    const std::uint64_t keeping = 2 * id + 1;
    std::uint64_t now = to.state.load();
    while (now < keeping) {
        if (to.state.compare_exchange_weak(now, keeping)) {
            std::swap(to.result, result);
            to.state.store(keeping + 1);
            piece_finished_.notify();
            return true;
        }
    }
    return false;
}

bool PieceRing::finished(std::uint64_t id) const { return slot(id).state.load() == 2 * id + 2; }

void PieceRing::withdraw(std::uint64_t end) {
    for (std::uint64_t id = end > capacity_ ? end - capacity_ : 0; id < end; ++id) {
        std::atomic<std::uint64_t>& state = slot(id).state;
        std::uint64_t now = state.load();
        while (now < 2 * id + 1 && !state.compare_exchange_weak(now, 2 * id + 2)) {
        }
        // A thread keeping its result now is let finish.
        if (now == 2 * id + 1) {
            piece_finished_.wait([&] { return finished(id); }, main_spin_);
        }
    }
}

PiecePlan PieceRing::planned(std::uint64_t id) const {
    const Slot& from = slot(id);
    return {from.n0.load(std::memory_order_relaxed), from.length.load(std::memory_order_relaxed),
            from.scale.load(std::memory_order_relaxed)};
}

}  // namespace reihen::engine
