#include "lanes.h"

namespace reihen::engine {

bool wide_vectors_available() {
#if defined(__x86_64__)
    static const bool available = [] {
        __builtin_cpu_init();
        return static_cast<bool>(__builtin_cpu_supports("avx2")) &&
               static_cast<bool>(__builtin_cpu_supports("fma"));
    }();
    return available;
#else
    return false;
#endif
}

}  // namespace reihen::engine
