#include "driver/processor_time.h"

#include <time.h>

namespace reihen::engine {

std::optional<std::chrono::nanoseconds> thread_processor_time() {
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) return std::nullopt;
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace reihen::engine
