#include <gtest/gtest.h>

#include "common/files.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

class WorkerTermination : public WorkerTest {};

// A4 pages, so that a page takes long enough for the signal to land while it is compared.
constexpr double A4_WIDTH = 595.276, A4_HEIGHT = 841.89;

}  // namespace

// SIGTERM while page 2 is compared: status 130, no "error", and the run leaves nothing behind,
// whether it has one pair or several (whose staging and pair folders are cleaned up as well).
TEST_F(WorkerTermination, SigtermDuringPageTwoLeavesNothing) {
    const struct {
        const char* what;
        std::vector<std::pair<std::string, int>> files;  // name, pages
    } cases[] = {
        {"one pair", {{"a.pdf", 3}}},
        {"two pairs", {{"a.pdf", 1}, {"b.pdf", 2}}},
    };
    tesmira::write_text_file(box.output() / "既存.txt", "kept");
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = box.input(std::to_string(++number));
        std::vector<fs::path> before, after;
        for (const auto& [name, pages] : c.files) {
            fs::create_directories(folder / "old");
            fs::create_directories(folder / "new");
            write_sample_pdf(before.emplace_back(folder / "old" / name), pages, 0, A4_WIDTH, A4_HEIGHT);
            write_sample_pdf(after.emplace_back(folder / "new" / name), pages, 1, A4_WIDTH, A4_HEIGHT);
        }
        WorkerProcess worker(comparison(before, after), box.temporary());
        const std::optional<Json> second = worker.wait_for(
            [](const Json& event) { return event.value("event", "") == "progress" && event.value("page", 0) == 2; });
        ASSERT_TRUE(second.has_value());
        worker.terminate();
        const Outcome run = worker.finish();

        EXPECT_EQ(run.status, 130) << run.err;
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.names(), (std::vector<std::string>{"start", "progress", "progress"})) << run.out;
        EXPECT_EQ(entries(box.output()), std::set<std::string>{"既存.txt"});
        EXPECT_EQ(entries(box.temporary()), std::set<std::string>{});
    }
}
