// Vectors of four doubles, for the block kernels. Each kernel is compiled
// twice, for the baseline that every x86-64 processor has and for AVX2 with
// FMA, and the wider one runs where the processor has both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reihen::engine {

// Four doubles at a time; the compiler maps these to the vector registers
// that the function is compiled for.
using Vec = double __attribute__((vector_size(32)));
using Mask = long long __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 4;

// The kernels take sixteen values at a time, four groups of four lanes,
// whose computations do not depend on each other and so overlap.
constexpr std::size_t kGroups = 4;

inline double lane_sum(const Vec& v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// The steps the kernels take on whole vectors, in registers (reading lanes
// one by one goes through memory). They are inlined into each kernel, so
// no call ever passes a vector, by value or otherwise (hence -Wno-psabi,
// the warning of a vector passed where the baseline has no register for it).

// Each lane's magnitude: all its bits but the sign's.
[[gnu::always_inline]] inline Vec magnitude(const Vec& v) {
    constexpr Mask kAllButSign = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};
    return (Vec)((Mask)v & kAllButSign);
}

// Whether every lane of `mask` is set, folded within the vector.
[[gnu::always_inline]] inline bool all_lanes(const Mask& mask) {
    Mask all = mask & __builtin_shufflevector(mask, mask, 2, 3, 0, 1);
    all &= __builtin_shufflevector(all, all, 1, 0, 3, 2);
    return all[0] != 0;
}

// `v` moved up a lane, with the last lane of `before` shifted in: lane j of
// `out` holds lane j - 1 of the four lanes of `before` and `v` in a row.
[[gnu::always_inline]] inline void shift_in(const Vec& before, const Vec& v, Vec& out) {
    out = __builtin_shufflevector(before, v, 3, 4, 5, 6);
}

// The same with `first` shifted in.
[[gnu::always_inline]] inline void shift_in(double first, const Vec& v, Vec& out) {
    const Vec start = {first, 0.0, 0.0, 0.0};
    out = __builtin_shufflevector(start, v, 0, 4, 5, 6);
}

// Lane j of `v` becomes the sum of its lanes 0 to j, added pairwise as in a
// tree.
[[gnu::always_inline]] inline void add_up_lanes(Vec& v) {
    const Vec zero = {0.0, 0.0, 0.0, 0.0};
    v += __builtin_shufflevector(v, zero, 4, 0, 1, 2);
    v += __builtin_shufflevector(v, zero, 4, 5, 0, 1);
}

// The vector widths each kernel is compiled for: the baseline that every
// x86-64 processor has, and AVX2 with FMA.
enum class Width { kBaseline, kWide };

// Whether this processor has AVX2 and FMA; asked once.
bool wide_vectors_available();

// A kernel's body, inlined into one function for each vector width: the
// body itself is compiled for the width of the function it lands in. In
// the wide one a multiplication and the addition after it may be fused
// into one step (FMA), which the kernels' arithmetic allows (P8). Nowhere
// else does the program fuse: the terms and sums of the plain loop are
// computed as written.
#define REIHEN_KERNEL_BODY [[gnu::always_inline]] inline
#if defined(__x86_64__) && defined(__clang__)
#define REIHEN_WIDE_VECTORS __attribute__((target("avx2,fma")))
#define REIHEN_MAY_FUSE _Pragma("clang fp contract(fast)")
#elif defined(__x86_64__)
#define REIHEN_WIDE_VECTORS __attribute__((target("avx2,fma"), optimize("fp-contract=fast")))
#define REIHEN_MAY_FUSE
#else
#define REIHEN_WIDE_VECTORS
#define REIHEN_MAY_FUSE
#endif

}  // namespace reihen::engine
