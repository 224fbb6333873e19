#include "usable_cores.h"

#include <sched.h>

#include <thread>

namespace reihen {

unsigned usable_cores() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const unsigned reported = std::thread::hardware_concurrency();
    return reported > 0 ? reported : 1;
}

}  // namespace reihen
