#include "cores/usable_cores.h"

#include <sched.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "cores/cpu_quota.h"

namespace reihen {
namespace {

// The files that state a control group's limit are a few lines long;
// /proc/self/mountinfo has a line for each mount.
constexpr std::size_t kLongestFile = 1 << 20;

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    std::istreambuf_iterator<char> at(in);
    const std::istreambuf_iterator<char> end;
    for (; at != end && text.size() < kLongestFile; ++at) text += *at;
    if (in.bad()) return std::nullopt;
    return text;
}

unsigned allowed_cores() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        if (count > 0) return static_cast<unsigned>(count);
    }
    const unsigned reported = std::thread::hardware_concurrency();
    return reported > 0 ? reported : 1;
}

}  // namespace

unsigned usable_cores() { return cores_within_limit(allowed_cores(), cgroup_cpu_limit(read_file)); }

}  // namespace reihen
