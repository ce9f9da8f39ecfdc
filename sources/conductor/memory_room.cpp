#include "conductor/memory_room.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tesmira::conductor {
namespace fs = std::filesystem;
namespace {

// The number after `key` in a file of "key value" lines ("MemAvailable: 123 kB" with the key
// "MemAvailable:"), times `unit`.
std::optional<std::size_t> keyed_number(const fs::path& file, const std::string& key, std::size_t unit = 1) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string name;
        unsigned long long value = 0;
        if (fields >> name >> value && name == key) return std::size_t(value) * unit;
    }
    return std::nullopt;
}

// A file that holds one number; "max" (cgroup v2's "no limit") and anything else is nothing.
std::optional<std::size_t> lone_number(const fs::path& file) {
    std::ifstream in(file);
    unsigned long long value = 0;
    if (in >> value) return std::size_t(value);
    return std::nullopt;
}

// A mount point as /proc/self/mountinfo writes it: space, tab, line feed and backslash as octal
// escapes ("\040").
std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto is_octal = [](char c) { return c >= '0' && c <= '7'; };
        if (text[i] == '\\' && i + 4 <= text.size() &&
            std::all_of(text.data() + i + 1, text.data() + i + 4, is_octal)) {
            out += char(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The process's cgroup of each hierarchy, from /proc/self/cgroup: "0::/path" for v2,
// "4:memory:/path" (controllers separated by commas) for v1's memory controller.
void read_own_cgroups(const fs::path& file, std::optional<fs::path>& v2, std::optional<fs::path>& v1) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const fs::path path = line.substr(second + 1);
        if (line.substr(0, first) == "0" && controllers.empty()) v2 = path;
        std::istringstream names(controllers);
        for (std::string name; std::getline(names, name, ',');)
            if (name == "memory") v1 = path;
    }
}

// The own cgroup in one mounted hierarchy: `mounted` is the part of the hierarchy mounted at
// `mount_point` ("/" but in a container without its own namespace).
std::optional<MemoryCgroup> own_below(const fs::path& root, const fs::path& mount_point, const fs::path& mounted,
                                      const fs::path& own, bool v2) {
    const fs::path relative = own.lexically_relative(mounted);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    MemoryCgroup cgroup{root / mount_point.relative_path(), {}, v2};
    cgroup.folder = cgroup.top;
    for (const fs::path& part : relative)
        if (!part.empty() && part != ".") cgroup.folder /= part;
    return cgroup;
}

// What the memory limit of one cgroup folder leaves beside its use; nothing without a limit.
std::optional<std::size_t> cgroup_room(const fs::path& folder, bool v2) {
    const auto limit = lone_number(folder / (v2 ? "memory.max" : "memory.limit_in_bytes"));
    const auto usage = lone_number(folder / (v2 ? "memory.current" : "memory.usage_in_bytes"));
    if (!limit || !usage) return std::nullopt;
    const std::size_t cache =
        keyed_number(folder / "memory.stat", v2 ? "inactive_file" : "total_inactive_file").value_or(0);
    const std::size_t used = *usage - std::min(*usage, cache);
    return *limit - std::min(*limit, used);
}

// The least room over the own cgroup and those above it, up to the mounted part.
std::optional<std::size_t> hierarchy_room(const MemoryCgroup& cgroup) {
    std::optional<std::size_t> least;
    for (fs::path folder = cgroup.folder;; folder = folder.parent_path()) {
        if (const auto room = cgroup_room(folder, cgroup.v2)) least = std::min(least.value_or(*room), *room);
        if (folder == cgroup.top || folder == folder.parent_path()) break;
    }
    return least;
}

}  // namespace

// The mounts of cgroup2 and of v1's memory controller, from /proc/self/mountinfo: "ID PARENT
// MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS".
std::vector<MemoryCgroup> own_memory_cgroups(const MemoryRoomSources& sources) {
    std::optional<fs::path> own_v2, own_v1;
    read_own_cgroups(sources.proc / "self/cgroup", own_v2, own_v1);
    std::vector<MemoryCgroup> found;
    std::ifstream in(sources.proc / "self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::vector<std::string> field;
        for (std::string one; fields >> one;) field.push_back(one);
        const auto dash = std::find(field.begin(), field.end(), "-");
        if (field.size() < 5 || dash == field.end() || field.end() - dash < 4) continue;
        const bool v2 = dash[1] == "cgroup2";
        const bool v1 = dash[1] == "cgroup" && ("," + dash[3] + ",").find(",memory,") != std::string::npos;
        const std::optional<fs::path>& own = v2 ? own_v2 : own_v1;
        if (!(v1 || v2) || !own) continue;
        if (auto cgroup = own_below(sources.root, unescaped(field[4]), unescaped(field[3]), *own, v2))
            found.push_back(*cgroup);
    }
    return found;
}

std::optional<std::size_t> address_space_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return std::size_t(limit.rlim_cur);
}

MemoryRoom memory_room(const MemoryRoomSources& sources) {
    MemoryRoom room;
    room.available = keyed_number(sources.proc / "meminfo", "MemAvailable:", 1024);
    for (const MemoryCgroup& own : own_memory_cgroups(sources))
        if (const auto cgroup = hierarchy_room(own)) room.cgroup = std::min(room.cgroup.value_or(*cgroup), *cgroup);
    if (sources.address_space) {
        const std::size_t mapped = keyed_number(sources.proc / "self/status", "VmSize:", 1024).value_or(0);
        room.address_space = *sources.address_space - std::min(*sources.address_space, mapped);
    }
    return room;
}

}  // namespace tesmira::conductor
