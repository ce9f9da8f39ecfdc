#pragma once
// How much memory the kernel still lets this process take, as each of its limits tells. The
// machine's available memory is not the whole story: in a container or a systemd unit the
// process's cgroup may allow far less, and an address-space limit (ulimit -v) counts what the
// process has mapped, not what it touched.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

namespace tesmira::conductor {

// Each limit's room in bytes; nothing where the limit is not set or cannot be read.
struct MemoryRoom {
    std::optional<std::size_t> available;  // "MemAvailable" of /proc/meminfo: the whole machine's
    // The least that a memory limit leaves beside its cgroup's use, over the process's own
    // cgroup and every cgroup above it: cgroup v2 "memory.max" less "memory.current", v1
    // "memory.limit_in_bytes" less "memory.usage_in_bytes". The inactive file cache counts as
    // free, since the kernel drops it before it kills anything.
    std::optional<std::size_t> cgroup;
    std::optional<std::size_t> address_space;  // RLIMIT_AS less the process's address space ("VmSize")
};

// RLIMIT_AS's soft limit for this process, nothing when there is none.
std::optional<std::size_t> address_space_limit();

// Where the limits are read: the system's own, or a fake tree in tests.
struct MemoryRoomSources {
    std::filesystem::path proc = "/proc";  // "meminfo", "self/cgroup", "self/mountinfo", "self/status"
    std::filesystem::path root = "/";      // the folder below which the mount points of "self/mountinfo" are
    std::optional<std::size_t> address_space = address_space_limit();  // RLIMIT_AS
};

MemoryRoom memory_room(const MemoryRoomSources& sources = {});

// The process's own cgroup in a hierarchy that accounts memory, below the folder where the
// hierarchy is mounted.
struct MemoryCgroup {
    std::filesystem::path top;     // the mounted part, e.g. "/sys/fs/cgroup"
    std::filesystem::path folder;  // the own cgroup's folder, `top` or below it
    bool v2 = false;               // cgroup v2, or v1's memory controller
};

// One for cgroup v2 and one for v1's memory controller, where each is mounted and the own
// cgroup lies in its mounted part (as /proc/self/cgroup and /proc/self/mountinfo tell).
std::vector<MemoryCgroup> own_memory_cgroups(const MemoryRoomSources& sources = {});

}  // namespace tesmira::conductor
