#include "worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "piece_ring.h"

namespace {

using reihen::engine::CoreShare;
using reihen::engine::PieceRing;
using reihen::engine::ScanResult;
using reihen::engine::ThreadGrowth;
using reihen::engine::WorkerPool;

// Pieces in a ring whose scanning on the other threads waits until the test
// lets it finish; records which thread kept each piece's result.
class HeldPieces : public reihen::engine::PieceWork {
public:
    HeldPieces(std::size_t pieces, std::size_t slots, bool released = false)
        : ring_(slots), released_(released), kept_by_(pieces) {}

    void scan(unsigned thread, std::uint64_t piece) override {
        if (thread != 0) {
            started_.store(piece + 1);
            while (!released_.load()) std::this_thread::yield();
        }
        ScanResult found;
        if (ring_.keep(piece, found)) kept_by_[piece].push_back(thread);
    }
    bool finished(std::uint64_t piece) const override { return ring_.finished(piece); }

    void wait_until_started(std::uint64_t piece) const {
        while (started_.load() != piece + 1) std::this_thread::yield();
    }

    PieceRing ring_;
    std::atomic<std::uint64_t> started_{0};
    std::atomic<bool> released_;
    std::vector<std::vector<unsigned>> kept_by_;
};

// A piece that the other thread holds and does not finish: the main thread
// scans it itself, or withdraws it, and plans its slot anew at once. What
// the other thread finds later is dropped, not kept over the piece's result
// or over the result of the slot's next piece.
TEST(WorkerPool, APieceHeldUpIsScannedAgainOrWithdrawnAndKeptOnce) {
    for (const bool withdrawn : {false, true}) {
        for (const bool next_first : {false, true}) {
            SCOPED_TRACE(testing::Message() << withdrawn << next_first);
            HeldPieces pieces(2, 1);
            {
                WorkerPool pool(2, 2, pieces);
                ASSERT_EQ(pool.size(), 2U);
                pieces.ring_.plan(0, {});
                pool.publish(1);
                pieces.wait_until_started(0);
                if (withdrawn) {
                    pieces.ring_.withdraw(pool.withdraw());
                } else {
                    pool.wait_for(0);
                }
                reihen::RunStatistics statistics;
                pool.add_statistics(statistics);
                EXPECT_EQ(statistics.scanned_again, withdrawn ? 0U : 1U);
                if (next_first) {
                    pieces.ring_.plan(1, {});
                    pool.publish(2);
                    pool.wait_for(1);
                }
                pieces.released_.store(true);
            }
            EXPECT_EQ(pieces.kept_by_[0],
                      withdrawn ? std::vector<unsigned>{} : std::vector<unsigned>{0});
            EXPECT_EQ(pieces.kept_by_[1],
                      next_first ? std::vector<unsigned>{0} : std::vector<unsigned>{});
        }
    }
}

// Where the system refuses a thread, the pool makes do with those it has.
TEST(WorkerPool, MakesDoWithTheThreadsTheSystemGives) {
    int asked = 0;
    const auto refuse_the_second = [&asked](std::function<void()> body) {
        if (++asked == 2)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
    HeldPieces pieces(8, 8, true);
    {
        WorkerPool pool(4, 4, pieces, refuse_the_second);
        EXPECT_EQ(pool.size(), 2U);
        for (std::uint64_t piece = 0; piece < 8; ++piece) pieces.ring_.plan(piece, {});
        pool.publish(8);
        for (std::uint64_t piece = 0; piece < 8; ++piece) pool.wait_for(piece);
    }
    for (const auto& kept_by : pieces.kept_by_) EXPECT_EQ(kept_by.size(), 1U);
}

// More threads only while pieces wait and, past the first other thread,
// the threads running each got nearly a whole core; never past the most.
TEST(ThreadGrowth, StartsThreadsOnlyWhereTheWorkCanUseThem) {
    const struct {
        const char* what;
        unsigned running;
        bool waiting;
        bool measured;  // whether the platform measures a thread's processor time
        std::optional<double> share;
        unsigned wanted;
    } cases[] = {
        {"alone, pieces waiting", 1, true, true, std::nullopt, 2},
        {"alone, none waiting", 1, false, true, std::nullopt, 1},
        {"two on their cores", 2, true, true, 0.99, 3},
        {"four on their cores", 4, true, true, 0.95, 6},
        {"near the most", 7, true, true, 1.0, 8},
        {"at the most", 8, true, true, 1.0, 8},
        {"three taking turns on two cores", 3, true, true, 0.67, 3},
        {"a core held by another program", 2, true, true, 0.5, 2},
        {"no pieces waiting", 2, false, true, 1.0, 2},
        {"not measured yet", 2, true, true, std::nullopt, 2},
        {"not measured here, pieces waiting", 4, true, false, std::nullopt, 6},
        {"not measured here, none waiting", 4, false, false, std::nullopt, 4},
    };
    for (const auto& c : cases) {
        ThreadGrowth growth(8, c.measured);
        EXPECT_EQ(growth.wanted(c.running, c.waiting, c.share), c.wanted) << c.what;
    }
    // Once the threads took turns, no more are started in the run.
    ThreadGrowth growth(8, true);
    EXPECT_EQ(growth.wanted(3, true, 0.6), 3U);
    EXPECT_EQ(growth.wanted(3, true, 1.0), 3U);
    EXPECT_EQ(growth.wanted(3, true, std::nullopt), 3U);
}

// A thread that works on its core gives a share near 1; one that sleeps
// while it is said to work (as a thread does that another takes turns
// with) gives about the share it ran.
TEST(CoreShare, MeasuresWhatThreadsGetOfTheirCores) {
    if (!reihen::engine::thread_processor_time()) GTEST_SKIP() << "not measured here";
    const auto work_for = [](std::chrono::nanoseconds time, bool running) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            if (!running) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
    for (const bool running : {true, false}) {
        CoreShare share(2);
        EXPECT_EQ(share.take(2), std::nullopt);
        std::thread thread([&] {
            CoreShare::Meter meter(share, 1);
            meter.begin();
            for (int piece = 0; piece < 20; ++piece) {
                work_for(CoreShare::kSample / 4, running);
                meter.after_piece();
            }
        });
        thread.join();
        const std::optional<double> got = share.take(2);
        ASSERT_TRUE(got.has_value());
        if (running) {
            EXPECT_GT(*got, 0.3);  // on a busy machine, less than the whole core
        } else {
            EXPECT_LT(*got, 0.2);
        }
        EXPECT_EQ(share.take(2), std::nullopt);  // taken
    }
}

}  // namespace
