// What a run killed with SIGKILL leaves behind (a hidden partial folder in the output root,
// temporary folders with copies of the user's PDFs, their lock files) is swept by the next run,
// while the items of a run still going in another process stay untouched.
#include <csignal>

#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

class KilledRuns : public WorkerTest {
protected:
    // Starts a run of 6 A4 pages at 300 dpi and waits until it compares page 2, when its
    // partial folder, job folder and their locks exist. A run that is to be killed has pages
    // that draw without end after its first, so that it is surely still going; one that is to
    // finish compares one page at a time, so that it is still going when it is paused.
    std::unique_ptr<WorkerProcess> start_slow_run(const std::string& name, bool to_be_killed) {
        const fs::path before = box.input(name + "/old/a.pdf"), after = box.input(name + "/new/a.pdf");
        fs::create_directories(before.parent_path());
        fs::create_directories(after.parent_path());
        const int plain = to_be_killed ? 1 : 6;
        write_sample_then_endless_pdf(before, plain, 6 - plain, 0, 595.276, 841.89);
        write_sample_then_endless_pdf(after, plain, 6 - plain, 1, 595.276, 841.89);
        auto worker = std::make_unique<WorkerProcess>(
            comparison({before}, {after}, R"({"dpi": 300})"),
            box.temporary(),
            std::chrono::seconds(300),
            to_be_killed ? std::vector<std::string>{} : std::vector<std::string>{"TESMIRA_PAGES_AT_ONCE=1"});
        EXPECT_TRUE(worker->wait_for(
            [](const Json& event) { return event.value("event", "") == "progress" && event.value("page", 0) == 2; }));
        return worker;
    }
};

}  // namespace

TEST_F(KilledRuns, AreSweptByTheNextRunWhileALiveRunsItemsStay) {
    // A run that goes on, paused where it holds its folders.
    std::unique_ptr<WorkerProcess> live = start_slow_run("live", false);
    live->send(SIGSTOP);
    const std::set<std::string> live_output = entries(box.output()), live_temporary = entries(box.temporary());
    ASSERT_FALSE(live_output.empty());
    ASSERT_FALSE(live_temporary.empty());

    for (const char* name : {"killed-1", "killed-2"}) {
        std::unique_ptr<WorkerProcess> killed = start_slow_run(name, true);
        killed->send(SIGKILL);
        EXPECT_EQ(killed->finish().signal, SIGKILL);
    }
    ASSERT_GT(entries(box.output()).size(), live_output.size()) << "the killed runs left their partial folders";
    ASSERT_GT(entries(box.temporary()).size(), live_temporary.size()) << "and their temporary folders";

    write_sample_pdf(box.input("old.pdf"), 1, 0);
    write_sample_pdf(box.input("new.pdf"), 1, 1);
    const Outcome good = box.run(comparison({box.input("old.pdf")}, {box.input("new.pdf")}));
    ASSERT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(entries(box.temporary()), live_temporary) << "only the live run's temporary items stay";
    std::set<std::string> expected = live_output;
    expected.insert(fs::path(good.last()["output"].get<std::string>()).filename().string());
    EXPECT_EQ(entries(box.output()), expected) << "the live run's partial folder and the new result";

    live->send(SIGCONT);
    const Outcome finished = live->finish();
    EXPECT_EQ(finished.status, 0) << "the live run's folders survived the sweep: " << finished.err;
}

}  // namespace tesmira::worker_tests
