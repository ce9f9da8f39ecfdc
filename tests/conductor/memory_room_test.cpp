// The memory room read from a fake /proc and cgroup tree, and the worker's share of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/files.hpp"
#include "conductor/memory_room.hpp"
#include "conductor/page_budget.hpp"
#include "fixtures/temp_folder.hpp"

namespace fs = std::filesystem;
using tesmira::conductor::MemoryRoom;
using tesmira::conductor::MemoryRoomSources;

namespace {

constexpr std::size_t MiB = std::size_t(1) << 20;

// A fake system: "proc/" and the cgroup folders below "root/".
class FakeSystem {
public:
    FakeSystem() {
        sources.proc = folder_.path() / "proc";
        sources.root = folder_.path() / "root";
        sources.address_space = std::nullopt;
        fs::create_directories(sources.proc / "self");
        write("proc/meminfo", "MemTotal:       24681444 kB\nMemAvailable:    2097152 kB\nCached: 1 kB\n");
    }
    // Writes `text` into the file at `relative`, making its folders.
    void write(const std::string& relative, const std::string& text) const {
        const fs::path path = folder_.path() / relative;
        fs::create_directories(path.parent_path());
        tesmira::write_text_file(path, text);
    }
    // A cgroup's limit, use and inactive file cache in MiB; `limit` < 0 is no limit.
    void cgroup(const std::string& folder, bool v2, long long limit, std::size_t use, std::size_t cache = 0) const {
        const std::string no_limit = v2 ? "max" : "9223372036854771712";
        write(folder + (v2 ? "/memory.max" : "/memory.limit_in_bytes"),
              limit < 0 ? no_limit + "\n" : std::to_string(std::size_t(limit) * MiB) + "\n");
        write(folder + (v2 ? "/memory.current" : "/memory.usage_in_bytes"), std::to_string(use * MiB) + "\n");
        write(folder + "/memory.stat",
              std::string(v2 ? "anon 1\ninactive_file " : "cache 5\ntotal_inactive_file ") +
                  std::to_string(cache * MiB) + "\nactive_file 7\n");
    }
    MemoryRoomSources sources;

private:
    tesmira::fixtures::TempFolder folder_;
};

const std::string V2_MOUNT = "30 23 0:26 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate\n";
const std::string V1_MOUNTS =
    "32 23 0:29 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "33 32 0:30 / /sys/fs/cgroup/cpu,cpuacct rw,relatime - cgroup cgroup rw,cpu,cpuacct\n"
    "36 32 0:33 / /sys/fs/cgroup/memory rw,relatime shared:9 - cgroup cgroup rw,memory\n";

}  // namespace

TEST(MemoryRoom, TheMachinesAvailableMemoryAndNothingElseWithoutLimits) {
    FakeSystem system;
    system.write("proc/self/cgroup", "0::/user.slice/session-2.scope\n");
    system.write("proc/self/mountinfo", V2_MOUNT);
    system.cgroup("root/sys/fs/cgroup/user.slice/session-2.scope", true, -1, 300);
    const MemoryRoom room = tesmira::conductor::memory_room(system.sources);
    EXPECT_EQ(room.available, 2048 * MiB);
    EXPECT_EQ(room.cgroup, std::nullopt);
    EXPECT_EQ(room.address_space, std::nullopt);
}

TEST(MemoryRoom, TheTightestCgroupAtOrAboveTheProcesssOwn) {
    const struct {
        const char* what;
        std::string own, mounts;
        bool v2;
        std::string folder;  // where the limited cgroup is, below root/
        long long limit;
        std::size_t use, cache;
        std::optional<std::size_t> room;  // MiB
    } cases[] = {
        {"v2, the own scope limited",
         "0::/system.slice/run-r1.scope\n",
         V2_MOUNT,
         true,
         "sys/fs/cgroup/system.slice/run-r1.scope",
         400,
         30,
         0,
         370},
        {"v2, the limit on the slice above",
         "0::/user.slice/user-1000.slice/app.scope\n",
         V2_MOUNT,
         true,
         "sys/fs/cgroup/user.slice",
         1000,
         900,
         100,
         200},
        {"v2 in a container's own namespace",
         "0::/\n",
         "40 30 0:26 / /sys/fs/cgroup ro,nosuid - cgroup2 cgroup2 rw\n",
         true,
         "sys/fs/cgroup",
         512,
         12,
         0,
         500},
        {"v1, the memory controller among others",
         "12:pids:/docker/abc\n4:memory:/docker/abc\n1:name=systemd:/docker/abc\n",
         V1_MOUNTS,
         false,
         "sys/fs/cgroup/memory/docker/abc",
         400,
         250,
         120,
         270},
        {"v1 mounted at the container's own cgroup",
         "4:memory:/docker/abc\n",
         "36 32 0:33 /docker/abc /sys/fs/cgroup/memory ro - cgroup cgroup rw,memory\n",
         false,
         "sys/fs/cgroup/memory",
         300,
         100,
         0,
         200},
        {"use beyond the limit leaves nothing", "0::/a\n", V2_MOUNT, true, "sys/fs/cgroup/a", 100, 120, 0, 0},
        {"a cgroup outside the mounted part is not read",
         "4:memory:/elsewhere\n",
         "36 32 0:33 /docker/abc /sys/fs/cgroup/memory ro - cgroup cgroup rw,memory\n",
         false,
         "sys/fs/cgroup/memory",
         300,
         100,
         0,
         std::nullopt},
        {"a mount point with a space",
         "0::/a\n",
         "30 23 0:26 / /sys/fs/cgroup\\040two rw - cgroup2 cgroup2 rw\n",
         true,
         "sys/fs/cgroup two/a",
         64,
         4,
         0,
         60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystem system;
        system.write("proc/self/cgroup", c.own);
        system.write("proc/self/mountinfo", c.mounts);
        system.cgroup("root/" + c.folder, c.v2, c.limit, c.use, c.cache);
        const auto room = tesmira::conductor::memory_room(system.sources).cgroup;
        if (c.room)
            EXPECT_EQ(room, *c.room * MiB);
        else
            EXPECT_EQ(room, std::nullopt);
    }
}

TEST(MemoryRoom, UnreadableFilesGiveNothing) {
    FakeSystem system;
    system.write("proc/meminfo", "garbage\n");
    system.write("proc/self/cgroup", "0::/a\n");
    system.write("proc/self/mountinfo", V2_MOUNT + "broken line\n");
    system.write("root/sys/fs/cgroup/a/memory.max", "lots\n");
    system.write("root/sys/fs/cgroup/a/memory.current", "5\n");
    const MemoryRoom room = tesmira::conductor::memory_room(system.sources);
    EXPECT_EQ(room.available, std::nullopt);
    EXPECT_EQ(room.cgroup, std::nullopt);
}

TEST(MemoryRoom, TheAddressSpaceLimitLessWhatIsMapped) {
    FakeSystem system;
    system.write("proc/self/status", "Name:\tTesmiraWorker\nVmPeak:\t  999999 kB\nVmSize:\t  307200 kB\n");
    system.sources.address_space = 1024 * MiB;
    EXPECT_EQ(tesmira::conductor::memory_room(system.sources).address_space, 724 * MiB);
}

TEST(PageBudget, TheWorkerTakesTheLeastOfItsLimits) {
    using tesmira::conductor::MAX_WORKER_BYTES;
    const struct {
        const char* what;
        MemoryRoom room;
        std::size_t whole;
    } cases[] = {
        {"nothing known", {}, MAX_WORKER_BYTES},
        {"a large machine", {24000 * MiB, std::nullopt, std::nullopt}, MAX_WORKER_BYTES},
        {"half of a small machine's", {1200 * MiB, std::nullopt, std::nullopt}, 600 * MiB},
        {"a 400 MB cgroup", {24000 * MiB, 370 * MiB, std::nullopt}, 370 * MiB},
        {"an address-space limit", {24000 * MiB, 900 * MiB, 500 * MiB}, 500 * MiB},
        {"a cgroup with room beyond the machine's", {800 * MiB, 4000 * MiB, std::nullopt}, 400 * MiB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tesmira::conductor::worker_bytes(c.room), c.whole);
    }
}
