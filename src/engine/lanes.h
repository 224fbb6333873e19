// Vectors of four doubles, for the block kernels. Each kernel is compiled
// twice, for the baseline that every x86-64 processor has and for AVX2, and
// the wider one runs where the processor has it.
#pragma once

#include <cstddef>

namespace reihen::engine {

// Four doubles at a time; the compiler maps these to the vector registers
// that the function is compiled for.
using Vec = double __attribute__((vector_size(32)));
using Mask = long long __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 4;

inline double lane_sum(const Vec& v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// Whether this processor has AVX2; asked once.
bool wide_vectors_available();

// A kernel's body, inlined into one function for each vector width: the
// body itself is compiled for the width of the function it lands in.
#define REIHEN_KERNEL_BODY [[gnu::always_inline]] inline
#if defined(__x86_64__)
#define REIHEN_WIDE_VECTORS __attribute__((target("avx2")))
#else
#define REIHEN_WIDE_VECTORS
#endif

}  // namespace reihen::engine
