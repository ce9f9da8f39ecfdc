#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

#include "common/files.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

class WorkerTermination : public WorkerTest {};

// A4 pages, as a run on print PDFs has them.
constexpr double A4_WIDTH = 595.276, A4_HEIGHT = 841.89;

}  // namespace

// SIGTERM while page 2 is compared: status 130, no "error", and the run leaves nothing behind,
// whether it has one pair or several (whose staging and pair folders are cleaned up as well).
TEST_F(WorkerTermination, SigtermDuringPageTwoLeavesNothing) {
    const struct {
        const char* what;
        std::vector<std::tuple<std::string, int, int>> files;  // name, plain pages, endless pages
    } cases[] = {
        {"one pair", {{"a.pdf", 1, 2}}},
        {"two pairs", {{"a.pdf", 1, 0}, {"b.pdf", 0, 2}}},
    };
    tesmira::write_text_file(box.output() / "既存.txt", "kept");
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = box.input(std::to_string(++number));
        std::vector<fs::path> before, after;
        for (const auto& [name, plain, endless] : c.files) {
            fs::create_directories(folder / "old");
            fs::create_directories(folder / "new");
            write_sample_then_endless_pdf(
                before.emplace_back(folder / "old" / name), plain, endless, 0, A4_WIDTH, A4_HEIGHT);
            write_sample_then_endless_pdf(
                after.emplace_back(folder / "new" / name), plain, endless, 1, A4_WIDTH, A4_HEIGHT);
        }
        WorkerProcess worker(
            comparison(before, after), box.temporary(), std::chrono::seconds(300), {"TESMIRA_PAGES_AT_ONCE=8"});
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

// While one page is written, later ones are being compared, several at once. A SIGTERM that
// lands then, or just after, still ends the run with status 130 before any further event, and
// leaves nothing in the output root or the temporary folder.
TEST_F(WorkerTermination, SigtermWhilePagesAreComparedAtOnceLeavesNothing) {
    const fs::path before = box.input("old.pdf"), after = box.input("new.pdf");
    write_sample_then_endless_pdf(before, 2, 3, 0, A4_WIDTH, A4_HEIGHT);
    write_sample_then_endless_pdf(after, 2, 3, 1, A4_WIDTH, A4_HEIGHT);
    for (const int delay_ms : {0, 15, 40}) {
        SCOPED_TRACE("SIGTERM " + std::to_string(delay_ms) + " ms after the second page's event");
        WorkerProcess worker(comparison({before}, {after}, R"({"dpi": 300})"),
                             box.temporary(),
                             std::chrono::seconds(300),
                             {"TESMIRA_PAGES_AT_ONCE=8"});
        const std::optional<Json> second = worker.wait_for(
            [](const Json& event) { return event.value("event", "") == "progress" && event.value("page", 0) == 2; });
        ASSERT_TRUE(second.has_value());
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        worker.terminate();
        const Outcome run = worker.finish();

        EXPECT_EQ(run.status, 130) << run.err;
        const std::vector<std::string> names = run.names();
        ASSERT_GE(names.size(), 3u) << run.out;
        EXPECT_EQ(names.front(), "start");
        for (std::size_t i = 1; i < names.size(); ++i) {
            EXPECT_EQ(names[i], "progress") << run.out;
            EXPECT_EQ(run.events[i].value("page", 0), int(i)) << run.out;
        }
        EXPECT_TRUE(entries(box.output()).empty());
        EXPECT_TRUE(entries(box.temporary()).empty());
    }
}
