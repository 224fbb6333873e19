#include "cores/cpu_quota.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

namespace reihen {
namespace {

// The words of `text` separated by `separator`, empty ones included.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> words;
    for (;;) {
        const std::size_t end = text.find(separator);
        words.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return words;
        text.remove_prefix(end + 1);
    }
}

bool contains(const std::vector<std::string_view>& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// A path in /proc/self/mountinfo, where a space, tab, new-line or backslash
// stands as a backslash and three octal digits.
std::string unescape(std::string_view text) {
    std::string path;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto octal = [&](std::size_t at) { return text[at] >= '0' && text[at] <= '7'; };
        if (text[i] == '\\' && i + 3 < text.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            path += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                      (text[i + 3] - '0'));
            i += 3;
        } else {
            path += text[i];
        }
    }
    return path;
}

// The group's path within the hierarchy that has the cpu controller, from
// /proc/self/cgroup ("ID:controllers:path" a line): the v1 hierarchy that
// lists it, else the one v2 hierarchy (ID 0, no controllers listed).
struct Group {
    bool v1 = false;
    std::string path;
};

std::optional<Group> cpu_group(std::string_view cgroup) {
    std::optional<Group> v2;
    for (const std::string_view line : split(cgroup, '\n')) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string_view::npos || second == std::string_view::npos) continue;
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string path(line.substr(second + 1));
        if (contains(split(controllers, ','), "cpu")) return Group{true, path};
        if (line.substr(0, first) == "0" && controllers.empty()) v2 = Group{false, path};
    }
    return v2;
}

// The directory of `group` in the file system, and those above it up to
// where its hierarchy is mounted, from /proc/self/mountinfo: each line holds
// a mount's root within its hierarchy (field 4) and its mount point (field
// 5), and after a "-" its file system type and its options (the v1
// controllers). Empty where the group's hierarchy is not mounted.
std::vector<std::string> group_directories(std::string_view mountinfo, const Group& group) {
    for (const std::string_view line : split(mountinfo, '\n')) {
        const std::vector<std::string_view> fields = split(line, ' ');
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || fields.end() - dash < 4) continue;
        const std::string_view type = dash[1];
        const bool matches =
            group.v1 ? type == "cgroup" && contains(split(dash[3], ','), "cpu") : type == "cgroup2";
        if (!matches) continue;
        const std::string root = unescape(fields[3]);
        const std::string mount_point = unescape(fields[4]);
        const std::string inside = root == "/" ? "" : root;
        if (group.path.compare(0, inside.size(), inside) != 0) continue;
        std::string rest = group.path.substr(inside.size());
        if (!rest.empty() && rest.front() != '/') continue;
        std::vector<std::string> directories;
        for (;;) {
            directories.push_back(rest.size() <= 1 ? mount_point : mount_point + rest);
            const std::size_t parent = rest.rfind('/');
            if (rest.size() <= 1 || parent == std::string::npos) return directories;
            rest.erase(parent);
        }
    }
    return {};
}

// A whole number of microseconds, with white space around it.
std::optional<std::int64_t> microseconds(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t\n");
    const std::size_t end = text.find_last_not_of(" \t\n");
    if (begin == std::string_view::npos) return std::nullopt;
    text = text.substr(begin, end - begin + 1);
    std::int64_t value = 0;
    const auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || last != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> limit(std::optional<std::int64_t> quota, std::optional<std::int64_t> period) {
    if (!quota || !period || *quota <= 0 || *period <= 0) return std::nullopt;
    return static_cast<double>(*quota) / static_cast<double>(*period);
}

// The limit that one directory's files set: "quota period" or "max period"
// in cpu.max, or -1 for none in cpu.cfs_quota_us.
std::optional<double> directory_limit(const ReadFile& read, const std::string& directory, bool v1) {
    if (v1) {
        const auto quota = read(directory + "/cpu.cfs_quota_us");
        const auto period = read(directory + "/cpu.cfs_period_us");
        if (!quota || !period) return std::nullopt;
        return limit(microseconds(*quota), microseconds(*period));
    }
    const auto max = read(directory + "/cpu.max");
    if (!max) return std::nullopt;
    const std::vector<std::string_view> words = split(*max, ' ');
    if (words.size() != 2) return std::nullopt;
    return limit(microseconds(words[0]), microseconds(words[1]));
}

}  // namespace

std::optional<double> cgroup_cpu_limit(const ReadFile& read) {
    const auto cgroup = read("/proc/self/cgroup");
    const auto mountinfo = read("/proc/self/mountinfo");
    if (!cgroup || !mountinfo) return std::nullopt;
    const std::optional<Group> group = cpu_group(*cgroup);
    if (!group) return std::nullopt;
    std::optional<double> smallest;
    for (const std::string& directory : group_directories(*mountinfo, *group)) {
        const std::optional<double> here = directory_limit(read, directory, group->v1);
        if (here && (!smallest || *here < *smallest)) smallest = here;
    }
    return smallest;
}

unsigned cores_within_limit(unsigned cores, std::optional<double> limit) {
    if (!limit || *limit >= static_cast<double>(cores)) return std::max(cores, 1U);
    return std::max(static_cast<unsigned>(std::ceil(*limit)), 1U);
}

}  // namespace reihen
