#include "fast_summation.h"

#include <algorithm>
#include <barrier>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace reihen {
namespace {

constexpr double kTwo52 = 4503599627370496.0;
constexpr double kTwo53 = 9007199254740992.0;

// How the term 1.0 / pow(n, s) can be computed. Where the exact power n^k is
// a double (below 2^53), pow returns it exactly: its error is well under one
// unit in the last place, and the exact value is a neighbour of nothing else.
// So 1.0 / n and 1.0 / (n * ... * n) are the very same terms.
enum class TermKind { kPow, kReciprocal, kIntegerPower };

struct TermRule {
    double s;
    TermKind kind;
    int power;
};

TermRule make_rule(double s) {
    if (s == 1.0) return {s, TermKind::kReciprocal, 1};
    if (s >= 2.0 && s <= 64.0 && s == std::floor(s)) {
        return {s, TermKind::kIntegerPower, static_cast<int>(s)};
    }
    return {s, TermKind::kPow, 0};
}

// n^k by multiplication; below 2^53 every step is exact, and once a step
// reaches 2^53 the result stays at or above it.
double integer_power(double n, int power) {
    double product = n;
    for (int i = 1; i < power; ++i) product *= n;
    return product;
}

// Four doubles at a time; the compiler maps these to the vector registers of
// the machine the clone below runs on.
using Vec = double __attribute__((vector_size(32)));
using Mask = long long __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 4;

// terms[i] = 1.0 / pow(n0 + i, s), bit for bit; n0 + count <= 2^53, and
// whole numbers that small add exactly.
__attribute__((target_clones("avx2", "default"))) void compute_terms(const TermRule& rule,
                                                                     double n0, std::size_t count,
                                                                     double* terms) {
    const auto index = [n0](std::size_t i) { return n0 + static_cast<double>(i); };
    const Vec lane_offsets = {0.0, 1.0, 2.0, 3.0};
    const bool products_exact = rule.kind == TermKind::kIntegerPower &&
                                integer_power(index(count - 1), rule.power) < kTwo53;
    if (rule.kind == TermKind::kReciprocal || products_exact) {
        std::size_t i = 0;
        for (; i + kLanes <= count; i += kLanes) {
            const Vec n = index(i) + lane_offsets;
            Vec power = n;
            for (int k = 1; k < rule.power; ++k) power *= n;
            const Vec term = 1.0 / power;
            std::memcpy(terms + i, &term, sizeof term);
        }
        for (; i < count; ++i) terms[i] = 1.0 / integer_power(index(i), rule.power);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) terms[i] = 1.0 / std::pow(index(i), rule.s);
}

// 2^(52 - e) for a sum in [2^e, 2^(e+1)): the sum's last-place unit is its
// inverse. Zero where the sum has no such unit (zero, subnormal, infinite).
double unit_scale(double sum) {
    if (!(sum >= DBL_MIN) || std::isinf(sum)) return 0.0;
    return std::ldexp(1.0, 52 - std::ilogb(sum));
}

struct Units {
    double total;  // sum of the terms, each rounded to whole units
    bool exact;    // no term lies exactly halfway between two units
};

// A term t added to a sum S = m units (2^52 <= m < 2^53) gives S + q units,
// q = t / unit rounded to nearest, as long as the result stays below 2^53
// units, except where t / unit is exactly halfway: then the rounding goes to
// the even result and depends on S. Whole numbers below 2^53 add exactly in
// doubles, and a total past 2^53 means the binade is left anyway.
__attribute__((target_clones("avx2", "default"))) Units count_units(const double* terms,
                                                                    std::size_t count,
                                                                    double scale) {
    Vec totals = {0.0, 0.0, 0.0, 0.0};
    Mask halfway = {0, 0, 0, 0};
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        Vec x;
        std::memcpy(&x, terms + i, sizeof x);
        x *= scale;
        const Vec q = (x + kTwo52) - kTwo52;  // x rounded to a whole number
        const Vec rest = x - q;
        halfway |= (rest == 0.5) | (rest == -0.5);
        totals += q;
    }
    double total = (totals[0] + totals[1]) + (totals[2] + totals[3]);
    bool exact = (halfway[0] | halfway[1] | halfway[2] | halfway[3]) == 0;
    for (; i < count; ++i) {
        const double x = terms[i] * scale;
        const double q = (x + kTwo52) - kTwo52;
        exact = exact && x - q != 0.5 && x - q != -0.5;
        total += q;
    }
    return {total, exact};
}

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
                    start_.arrive_and_drop();
                    done_.arrive_and_drop();
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

    std::barrier<> start_;
    std::barrier<> done_;
    const std::function<void(unsigned)>* job_ = nullptr;
    bool quitting_ = false;
    std::vector<std::thread> workers_;
};

unsigned thread_count() { return std::clamp(std::thread::hardware_concurrency(), 1U, 64U); }

struct Slice {
    std::size_t added = 0;  // terms before the first one that stops the loop
    bool stopped = false;   // whether such a term lies in this slice
    Units units{};
};

constexpr std::size_t kFirstSliceLength = 64;
constexpr std::size_t kLongestSlice = 262144;
constexpr std::size_t kChunk = 4096;

}  // namespace

double add_in_order(double sum, const double* terms, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const double scale = unit_scale(sum);
        const std::size_t stretch = std::min<std::size_t>(count - done, 4096);
        if (scale != 0.0) {
            const Units units = count_units(terms + done, stretch, scale);
            if (units.exact && units.total < kTwo53 - sum * scale) {
                sum += units.total / scale;
                done += stretch;
                continue;
            }
        }
        // A halfway term or a change of binade: this stretch step by step.
        for (std::size_t i = 0; i < stretch; ++i) sum += terms[done + i];
        done += stretch;
    }
    return sum;
}

double sum_series_fast(double s, double limit, SummationMonitor& monitor) {
    // pow(1, s) is 1 for every s, so the first term is 1.
    if (!(1.0 > limit)) return 0.0;
    // Every term is exactly 1 and never stops the loop: the sum counts up
    // exactly to 2^53, where adding 1 rounds back to 2^53 (ties to even) for
    // ever. Nothing after that can change it.
    if (s == 0.0) return kTwo53;

    const TermRule rule = make_rule(s);
    WorkerPool pool(thread_count());
    const unsigned threads = pool.size();
    std::vector<double> terms(threads * kLongestSlice);
    std::vector<Slice> slices(threads);

    double sum = 0.0;
    double n = 1.0;
    std::uint64_t added = 0;
    std::size_t slice_length = kFirstSliceLength;
    bool done = false;
    while (!done && !monitor.stop_requested()) {
        if (n + static_cast<double>(threads * slice_length) > kTwo53) {
            // n no longer grows past 2^53: the plain loop, one term at a time.
            const double term = 1.0 / std::pow(n, s);
            if (!(term > limit)) break;
            sum += term;
            n += 1.0;
            ++added;
            done = std::isinf(sum) || (s > 0.0 && sum + 2.0 * term == sum);
            if ((added & 0xFFF) == 0) monitor.progress(added, sum);
            continue;
        }
        const double scale = unit_scale(sum);
        pool.run([&](unsigned index) {
            // In chunks that stay in the core's cache from one pass to the next.
            double* slice_terms = terms.data() + index * slice_length;
            const double slice_n = n + static_cast<double>(index * slice_length);
            Slice& slice = slices[index];
            slice = Slice{0, false, Units{0.0, true}};
            for (std::size_t chunk = 0; chunk < slice_length && !slice.stopped; chunk += kChunk) {
                double* chunk_terms = slice_terms + chunk;
                const std::size_t length = std::min(kChunk, slice_length - chunk);
                compute_terms(rule, slice_n + static_cast<double>(chunk), length, chunk_terms);
                const std::size_t added = static_cast<std::size_t>(
                    std::find_if(chunk_terms, chunk_terms + length,
                                 [limit](double term) { return !(term > limit); }) -
                    chunk_terms);
                slice.added += added;
                slice.stopped = added < length;
                if (scale != 0.0) {
                    const Units units = count_units(chunk_terms, added, scale);
                    slice.units.total += units.total;
                    slice.units.exact = slice.units.exact && units.exact;
                }
            }
        });
        for (unsigned index = 0; index < threads && !done; ++index) {
            const Slice& slice = slices[index];
            const double* slice_terms = terms.data() + index * slice_length;
            // Whole numbers below 2^53 add exactly, and a total past 2^53
            // means the binade is left anyway.
            if (scale != 0.0 && unit_scale(sum) == scale && slice.units.exact &&
                slice.units.total < kTwo53 - sum * scale) {
                sum += slice.units.total / scale;
            } else {
                sum = add_in_order(sum, slice_terms, slice.added);
            }
            n += static_cast<double>(slice.added);
            added += slice.added;
            // For s > 0 the terms do not grow, and pow errs by less than a
            // last-place unit: once twice the last term leaves the sum
            // unchanged, no later term can change it.
            done = slice.stopped || std::isinf(sum) ||
                   (s > 0.0 && slice.added > 0 && sum + 2.0 * slice_terms[slice.added - 1] == sum);
        }
        monitor.progress(added, sum);
        slice_length = std::min(slice_length * 2, kLongestSlice);
    }
    return sum;
}

}  // namespace reihen
