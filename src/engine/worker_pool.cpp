#include "worker_pool.h"

#include <algorithm>

namespace reihen::engine {

unsigned thread_count() { return std::clamp(std::thread::hardware_concurrency(), 1U, 64U); }

}  // namespace reihen::engine
