// A worker in a cgroup that allows it far less than the machine has compares as many pages at
// once as fit there, and so completes instead of being killed. Skipped, with the reason, where
// this machine can make no such cgroup (systemd-run, or a child of the test's own cgroup).
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "common/random_id.hpp"
#include "conductor/memory_room.hpp"
#include "fixtures/pdf_builder.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

// Room for one page at a time and little more: a 300-dpi A4 page takes about 130 MB to compare,
// four at once (as many as the machine's memory would allow) more than twice that.
constexpr int LIMIT_MIB = 250;

// Runs programs in a cgroup of LIMIT_MIB, made for the test and removed with it.
class LimitedCgroup {
public:
    LimitedCgroup() {
        if (systemd_scope()) return;
        for (const conductor::MemoryCgroup& own : conductor::own_memory_cgroups())
            if (child_of(own)) return;
        if (reason_.empty()) reason_ = "no memory cgroup is mounted";
    }
    ~LimitedCgroup() {
        if (!folder_.empty()) ::rmdir(folder_.c_str());
    }
    LimitedCgroup(const LimitedCgroup&) = delete;
    LimitedCgroup& operator=(const LimitedCgroup&) = delete;

    bool made() const { return !prefix_.empty(); }
    const std::string& reason() const { return reason_; }
    // The program and arguments that run `line` in the cgroup.
    std::pair<std::string, std::vector<std::string>> command(const std::vector<std::string>& line) const {
        std::vector<std::string> arguments(prefix_.begin() + 1, prefix_.end());
        arguments.insert(arguments.end(), line.begin(), line.end());
        return {prefix_.front(), arguments};
    }

private:
    // A transient scope of systemd's, the user's own or, as root, the system's.
    bool systemd_scope() {
        const std::string program = "/usr/bin/systemd-run";
        if (!fs::exists(program)) return false;
        std::vector<std::string> line = {program};
        if (::geteuid() != 0) line.push_back("--user");
        line.insert(line.end(), {"--scope", "--quiet", "-p", "MemoryMax=" + std::to_string(LIMIT_MIB) + "M", "--"});
        std::vector<std::string> probe(line.begin() + 1, line.end());
        probe.push_back("/bin/true");
        fixtures::TempFolder scratch;
        WorkerProcess trial(probe, scratch.path(), std::chrono::seconds(60), {}, {}, program);
        const Outcome outcome = trial.finish();
        if (outcome.status != 0) {
            reason_ = "systemd-run cannot make a scope (" + outcome.err.substr(0, outcome.err.find('\n')) + "); ";
            return false;
        }
        prefix_ = line;
        return true;
    }

    // A child of the test's own cgroup, the program moved into it before it starts.
    bool child_of(const conductor::MemoryCgroup& own) {
        const fs::path folder = own.folder / ("tesmira-test-" + uuid4_hex());
        if (::mkdir(folder.c_str(), 0755) != 0) {
            reason_ += "cannot make a cgroup in " + own.folder.string() + " (" + std::strerror(errno) + "); ";
            return false;
        }
        folder_ = folder;
        const fs::path limit = folder / (own.v2 ? "memory.max" : "memory.limit_in_bytes");
        std::ofstream(limit) << (std::size_t(LIMIT_MIB) << 20) << "\n";
        std::ifstream written(limit);
        std::size_t bytes = 0;
        if (!(written >> bytes) || bytes != std::size_t(LIMIT_MIB) << 20) {
            reason_ += "cannot limit the memory of " + folder.string() + "; ";
            ::rmdir(folder.c_str());
            folder_.clear();
            return false;
        }
        prefix_ = {"/bin/sh", "-c", "echo $$ > '" + (folder / "cgroup.procs").string() + "' && exec \"$@\"", "sh"};
        return true;
    }

    std::vector<std::string> prefix_;
    fs::path folder_;
    std::string reason_;
};

// `pages` A4 pages, each with a square whose place follows `variant` on the pages in `changed`.
void write_a4(const fs::path& path, int pages, const std::set<int>& changed) {
    fixtures::Document document;
    for (int page = 1; page <= pages; ++page) {
        fixtures::Page one;
        const double x = 100 + (changed.count(page) ? 40 : 0);
        one.content = fixtures::fill_rect({x, 400, x + 30, 430}, 0.1, 0.2, 0.3) + fixtures::text(60, 700, 24, "Page");
        document.pages.push_back(one);
    }
    fs::create_directories(path.parent_path());
    fixtures::write_pdf(document, path);
}

}  // namespace

TEST_F(WorkerTest, ARunWithinACgroupsMemoryLimitCompletes) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's own memory does not fit a cgroup made for the worker";
#endif
    LimitedCgroup cgroup;
    if (!cgroup.made()) GTEST_SKIP() << "no cgroup of " << LIMIT_MIB << " MiB: " << cgroup.reason();
    write_a4(box.input("old/a.pdf"), 8, {});
    write_a4(box.input("new/a.pdf"), 8, {3, 6});
    std::vector<std::string> line = {TESMIRA_WORKER};
    for (const std::string& argument :
         comparison({box.input("old/a.pdf")}, {box.input("new/a.pdf")}, R"({"dpi": 300})"))
        line.push_back(argument);
    const auto [program, arguments] = cgroup.command(line);
    WorkerProcess worker(arguments, box.temporary(), std::chrono::seconds(300), {}, {}, program);
    const Outcome run = worker.finish();
    ASSERT_EQ(run.signal, 0) << "the worker was killed (SIGKILL is the OOM killer's) after " << run.out;
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_EQ(run.names().back(), "complete");
    std::vector<int> regions;
    for (const Json& page : run.last().at("pages")) regions.push_back(page.at("regions").get<int>());
    EXPECT_EQ(regions, (std::vector<int>{0, 0, 2, 0, 0, 2, 0, 0}));
}

}  // namespace tesmira::worker_tests
