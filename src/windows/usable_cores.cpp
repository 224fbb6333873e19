#include "cores/usable_cores.h"

#include <windows.h>

#include <bitset>
#include <thread>

namespace reihen {

unsigned usable_cores() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0) {
        return static_cast<unsigned>(std::bitset<sizeof process * 8>(process).count());
    }
    const unsigned reported = std::thread::hardware_concurrency();
    return reported > 0 ? reported : 1;
}

}  // namespace reihen
