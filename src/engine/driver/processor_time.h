// The processor time the calling thread has used.
#pragma once

#include <chrono>
#include <optional>

namespace reihen::engine {

// So far; nothing where the platform does not measure it to a microsecond
// or so, as a run's decisions on it are taken a millisecond apart.
std::optional<std::chrono::nanoseconds> thread_processor_time();

}  // namespace reihen::engine
