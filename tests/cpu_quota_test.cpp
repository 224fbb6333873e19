#include "cores/cpu_quota.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

namespace {

using Files = std::map<std::string, std::string>;

// A process in group /app/run of a v2 hierarchy mounted at /sys/fs/cgroup,
// and one in group /app of a v1 cpu hierarchy beside a v2 one, mounted
// where a space in the path stands escaped.
const std::string kV2Cgroup = "0::/app/run\n";
const std::string kV2Mounts =
    "25 1 0:22 / /proc rw - proc proc rw\n"
    "30 25 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
const std::string kV1Cgroup = "5:memory:/app\n4:cpu,cpuacct:/app\n0::/\n";
const std::string kV1Mounts =
    "31 30 0:27 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n"
    "32 30 0:28 / /sys/fs/cgroup/cpu\\040acct rw - cgroup cgroup rw,cpu,cpuacct\n";
const std::string kV1Group = "/sys/fs/cgroup/cpu acct/app";

Files with(Files files, const Files& more) {
    for (const auto& [path, text] : more) files.insert_or_assign(path, text);
    return files;
}

const Files kV2 = {{"/proc/self/cgroup", kV2Cgroup}, {"/proc/self/mountinfo", kV2Mounts}};
const Files kV1 = {{"/proc/self/cgroup", kV1Cgroup}, {"/proc/self/mountinfo", kV1Mounts}};

TEST(CpuQuota, LimitOfTheProcesssGroupAndThoseAboveIt) {
    const struct {
        const char* what;
        Files files;
        std::optional<double> limit;
    } cases[] = {
        {"no files at all", {}, std::nullopt},
        {"v2, no cpu.max", kV2, std::nullopt},
        {"v2, max", with(kV2, {{"/sys/fs/cgroup/app/run/cpu.max", "max 100000\n"}}), std::nullopt},
        {"v2, a fractional quota",
         with(kV2, {{"/sys/fs/cgroup/app/run/cpu.max", "150000 100000\n"}}), 1.5},
        {"v2, the smaller quota of a group above",
         with(kV2, {{"/sys/fs/cgroup/app/run/cpu.max", "400000 100000\n"},
                    {"/sys/fs/cgroup/app/cpu.max", "50000 100000\n"}}),
         0.5},
        {"v2, malformed here, a quota above",
         with(kV2, {{"/sys/fs/cgroup/app/run/cpu.max", "150000\n"},
                    {"/sys/fs/cgroup/cpu.max", "300000 100000"}}),
         3.0},
        {"v2, garbage", with(kV2, {{"/sys/fs/cgroup/app/run/cpu.max", "1x 100000\n"}}),
         std::nullopt},
        {"v1, a quota",
         with(kV1, {{kV1Group + "/cpu.cfs_quota_us", "250000\n"},
                    {kV1Group + "/cpu.cfs_period_us", "100000\n"}}),
         2.5},
        {"v1, none",
         with(kV1, {{kV1Group + "/cpu.cfs_quota_us", "-1\n"},
                    {kV1Group + "/cpu.cfs_period_us", "100000\n"}}),
         std::nullopt},
        {"v1, no period", with(kV1, {{kV1Group + "/cpu.cfs_quota_us", "250000\n"}}), std::nullopt},
        {"the group at the mount's root, as a container sees its own",
         with(kV2, {{"/proc/self/cgroup", "0::/box/run\n"},
                    {"/proc/self/mountinfo",
                     "30 25 0:26 /box/run /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"},
                    {"/sys/fs/cgroup/cpu.max", "200000 100000"},
                    {"/sys/fs/cgroup/box/run/cpu.max", "50000 100000"}}),  // not its group
         2.0},
        {"the group outside the mount's root",
         with(kV2, {{"/proc/self/mountinfo",
                     "30 25 0:26 /other /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"},
                    {"/sys/fs/cgroup/cpu.max", "100000 100000\n"}}),
         std::nullopt},
    };
    for (const auto& c : cases) {
        const reihen::ReadFile read = [&](const std::string& path) -> std::optional<std::string> {
            const auto at = c.files.find(path);
            if (at == c.files.end()) return std::nullopt;
            return at->second;
        };
        EXPECT_EQ(reihen::cgroup_cpu_limit(read), c.limit) << c.what;
    }
}

TEST(CpuQuota, CoresWithinTheLimitRoundedUp) {
    EXPECT_EQ(reihen::cores_within_limit(8, std::nullopt), 8U);
    EXPECT_EQ(reihen::cores_within_limit(8, 1.5), 2U);
    EXPECT_EQ(reihen::cores_within_limit(8, 0.1), 1U);
    EXPECT_EQ(reihen::cores_within_limit(2, 64.0), 2U);
}

}  // namespace
