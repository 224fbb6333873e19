// How much processor time a Linux control group lets the process use, read
// from the files that state it; a container or a service often gets less
// than all the cores it sees.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace reihen {

// A whole file's contents by its path; nothing where it cannot be read.
using ReadFile = std::function<std::optional<std::string>(const std::string& path)>;

// The CPU bandwidth limit of the process's control group, in processors
// (1.5 for a quota of 150 ms in every 100 ms). /proc/self/cgroup and
// /proc/self/mountinfo tell where the group's directory is: there, and in
// each directory above it up to the hierarchy's mount point, cpu.max
// (cgroup v2) or cpu.cfs_quota_us with cpu.cfs_period_us (v1, where the cpu
// controller is there) may set a limit, and the smallest one applies.
// Nothing where no limit is set; a file that is missing or malformed sets
// none.
std::optional<double> cgroup_cpu_limit(const ReadFile& read);

// `cores`, but no more than `limit` allows, rounded up, and at least 1.
unsigned cores_within_limit(unsigned cores, std::optional<double> limit);

}  // namespace reihen
