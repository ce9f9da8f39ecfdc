// A limit on the user's processes (RLIMIT_NPROC, which counts threads) lets the worker start
// fewer threads than it wants, or none: the run still completes, on the threads it has, with
// the same findings, and never ends in an abort. As root the limit does not apply, so there
// the worker runs as "nobody".
#include <unistd.h>

#include <cstdlib>

#include "fixtures/pdf_builder.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

constexpr const char* PRLIMIT = "/usr/bin/prlimit";
constexpr const char* SETPRIV = "/usr/bin/setpriv";

// Three pages: one unchanged, one with a moved square in RGB, one with a CMYK change, whose
// pages are drawn on their plates beside the screen.
void write_pages(const fs::path& path, bool changed) {
    fixtures::Document document;
    for (int page = 1; page <= 3; ++page) {
        fixtures::Page one;
        one.media = {0, 0, 200, 150};
        const double x = 30 + (changed && page == 2 ? 30 : 0);
        one.content = fixtures::fill_rect({x, 40, x + 16, 56}, 0, 0, 0) +
                      fixtures::fill_rect_cmyk({120, 60, 150, 90}, 0.1, 0.5, changed && page == 3 ? 0.3 : 0.2, 0);
        document.pages.push_back(one);
    }
    fs::create_directories(path.parent_path());
    fixtures::write_pdf(document, path);
}

// The regions of each page of a finished run.
std::vector<int> regions(const Outcome& run) {
    std::vector<int> counts;
    for (const Json& page : run.last().value("pages", Json::array())) counts.push_back(page.at("regions").get<int>());
    return counts;
}

class ThreadLimit : public WorkerTest {
protected:
    void SetUp() override {
        if (!fs::exists(PRLIMIT) || !fs::exists(SETPRIV)) GTEST_SKIP() << "needs prlimit and setpriv (util-linux)";
        write_pages(box.input("old/a.pdf"), false);
        write_pages(box.input("new/a.pdf"), true);
        if (::geteuid() == 0) {
            // The sandbox becomes nobody's, so that the worker may read and write in it.
            const fs::path root = box.inputs().parent_path();
            const std::string command = "chown -R nobody:nogroup '" + root.string() + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            const Outcome can_write = limited(1000, {"/usr/bin/test", "-w", box.output().string()});
            if (can_write.status != 0)
                GTEST_SKIP() << "nobody cannot reach the sandbox " << root << " (a private TMPDIR?)";
        }
    }

    // `program` under a limit of `processes` processes and threads of its user.
    Outcome limited(int processes, const std::vector<std::string>& program) const {
        std::vector<std::string> line = {"--nproc=" + std::to_string(processes) + ":" + std::to_string(processes)};
        if (::geteuid() == 0)
            line.insert(line.end(), {SETPRIV, "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"});
        line.insert(line.end(), program.begin(), program.end());
        // LeakSanitizer needs a thread of its own at exit, which the limit may not allow.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string sanitizer = "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=0";
        WorkerProcess process(line, box.temporary(), std::chrono::seconds(300), {sanitizer}, {}, PRLIMIT);
        return process.finish();
    }
};

}  // namespace

TEST_F(ThreadLimit, TheRunCompletesOnTheThreadsItCouldStart) {
    const auto line = comparison({box.input("old/a.pdf")}, {box.input("new/a.pdf")});
    const Outcome free = box.run(line);
    ASSERT_EQ(free.status, 0) << free.out << free.err;
    ASSERT_EQ(regions(free), (std::vector<int>{0, 2, 1}));
    // One: no thread beside the worker's own; the others: fewer than it wants.
    for (int processes : {1, 2, 4}) {
        SCOPED_TRACE(processes);
        std::vector<std::string> worker = {TESMIRA_WORKER};
        worker.insert(worker.end(), line.begin(), line.end());
        const Outcome run = limited(processes, worker);
        EXPECT_EQ(run.signal, 0) << run.err;
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.names().back(), "complete");
        EXPECT_EQ(regions(run), regions(free));
    }
}

}  // namespace tesmira::worker_tests
