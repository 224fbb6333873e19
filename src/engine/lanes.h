// Vectors of four doubles, for the block kernels.
#pragma once

#include <cstddef>

#include "vector_clones.h"

namespace reihen::engine {

// Four doubles at a time; the compiler maps these to the vector registers of
// the machine the function runs on.
using Vec = double __attribute__((vector_size(32)));
using Mask = long long __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 4;

inline double lane_sum(const Vec& v) { return (v[0] + v[1]) + (v[2] + v[3]); }

}  // namespace reihen::engine
