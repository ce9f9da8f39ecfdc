// Archive-mode runs through the real worker program.
#include <sys/stat.h>

#include <csignal>

#include "common/files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

const std::string PROJECT = "ffeeddccbbaa99887766554433221100";

unsigned mode_of(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class ArchiveRun : public WorkerTest {
protected:
    fs::path root = box.inputs() / "てすみら保存版";

    void SetUp() override {
        fs::create_directories(root / PROJECT);
        write_text_file(root / PROJECT / "project.json",
                        R"({"version": 1, "id": ")" + PROJECT + R"(", "name": "春カタログ"})");
        fs::create_directories(box.input("old"));
        fs::create_directories(box.input("new"));
    }
    std::vector<std::string> arguments(const std::string& mode, const std::vector<fs::path>& after) const {
        return archive_run(mode, after, root, PROJECT);
    }
};

// A page painting a box in the spot ink `ink`, whose alternate stays the same whatever its name.
void write_spot_pdf(const fs::path& path, const std::string& ink) {
    fixtures::Page page;
    page.media = {0, 0, 100, 100};
    page.content = "/Spot cs 1 scn 20 20 60 60 re f";
    fixtures::write_pdf(fixtures::many_pages(1, page), path);
    fixtures::ResourceEditor editor(path);
    editor.add("/ColorSpace",
               "/Spot",
               "[/Separation /" + ink +
                   " /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0.5 1 0] /N 1 >>]");
    editor.save();
}

}  // namespace

TEST_F(ArchiveRun, PagesAreComparedAsTheyPrintWithTheSavedVersion) {
    write_spot_pdf(box.input("old/spot.pdf"), "Orange");
    write_spot_pdf(box.input("new/spot.pdf"), "Tangerine");
    ASSERT_EQ(box.run(arguments("register", {box.input("old/spot.pdf")})).status, 0);
    const Outcome compared = box.run(arguments("compare", {box.input("new/spot.pdf")}));
    ASSERT_EQ(compared.status, 0) << compared.out << compared.err;
    EXPECT_EQ(compared.names(), (std::vector<std::string>{"start", "progress", "complete"}));
    EXPECT_EQ(compared.last()["pages"][0]["regions"], 1) << "another ink of the same look";
    EXPECT_EQ(compared.last()["archive_updated"], true);
}

TEST_F(ArchiveRun, RegisterThenCompareReportTheirEvents) {
    write_sample_pdf(box.input("old/a.pdf"), 2, 0);
    write_sample_pdf(box.input("new/a.pdf"), 2, 1);
    const Outcome registered = box.run(arguments("register", {box.input("old/a.pdf")}));
    ASSERT_EQ(registered.status, 0) << registered.out << registered.err;
    ASSERT_EQ(registered.lines.size(), 1u);
    EXPECT_EQ(registered.lines[0], R"({"event": "archive_saved", "count": 1, "project": "春カタログ"})");
    EXPECT_TRUE(entries(box.output()).empty()) << "registering publishes nothing";
    EXPECT_EQ(mode_of(root), 0700u);
    EXPECT_EQ(mode_of(root / PROJECT / "versions"), 0700u);
    EXPECT_EQ(mode_of(root / PROJECT / "history.sqlite3"), 0600u);
    for (const auto& entry : fs::directory_iterator(root / PROJECT / "versions"))
        EXPECT_EQ(mode_of(entry.path()), 0600u);

    const Outcome compared = box.run(arguments("compare", {box.input("new/a.pdf")}));
    ASSERT_EQ(compared.status, 0) << compared.out << compared.err;
    EXPECT_EQ(compared.names(), (std::vector<std::string>{"start", "progress", "progress", "complete"}));
    std::vector<std::string> keys;
    for (const auto& item : compared.last().items()) keys.push_back(item.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"event", "output", "pages", "files", "pdfs", "archive_updated", "project"}));
    EXPECT_EQ(compared.last()["project"], "春カタログ");
    EXPECT_EQ(compared.last()["pages"][1]["regions"].get<int>() > 0, true);
    EXPECT_EQ(std::distance(fs::directory_iterator(root / PROJECT / "versions"), fs::directory_iterator()), 2);
}

TEST_F(ArchiveRun, TheSavedVersionComparedIsKeptForTheWindow) {
    write_sample_pdf(box.input("old/a.pdf"), 1, 0);
    write_sample_pdf(box.input("new/a.pdf"), 1, 1);
    ASSERT_EQ(box.run(arguments("register", {box.input("old/a.pdf")})).status, 0);
    const fs::path kept = box.inputs() / "kept";
    fs::create_directory(kept);
    std::vector<std::string> line = arguments("compare", {box.input("new/a.pdf")});
    line.insert(line.end(), {"--compared-copies", kept.string()});
    const Outcome compared = box.run(line);
    ASSERT_EQ(compared.status, 0) << compared.out << compared.err;
    EXPECT_EQ(compared.last()["pages"][0]["source_name"], "a.pdf");
    EXPECT_EQ(read_text_file(kept / "a.pdf" / "before.pdf"), read_text_file(box.input("old/a.pdf")));
    EXPECT_EQ(read_text_file(kept / "a.pdf" / "after.pdf"), read_text_file(box.input("new/a.pdf")));
}

TEST_F(ArchiveRun, ASecondRunOnABusyProjectIsRefusedAndTheFirstCommits) {
    write_sample_pdf(box.input("old/long.pdf"), 3, 0);
    write_sample_pdf(box.input("new/long.pdf"), 3, 1);
    ASSERT_EQ(box.run(arguments("register", {box.input("old/long.pdf")})).status, 0);

    // One page at a time, as the run's pages are few and quick: it is caught in the middle.
    WorkerProcess first(arguments("compare", {box.input("new/long.pdf")}),
                        box.temporary(),
                        std::chrono::seconds(300),
                        {"TESMIRA_PAGES_AT_ONCE=1"});
    ASSERT_TRUE(first.wait_for([](const Json& e) { return e.value("event", "") == "progress"; }));
    // Held in the middle of its comparison, the first run keeps the project's write lock, and
    // it stays held until the first goes on: the second run is refused while it is held, not
    // after the first run has ended.
    first.send(SIGSTOP);
    const Outcome second = box.run(arguments("compare", {box.input("new/long.pdf")}));
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(
        second.lines,
        (std::vector<std::string>{
            R"({"event": "error", "message": "この案件は別の検版で使用中です。完了してから再試行してください。"})"}));

    first.send(SIGCONT);
    const Outcome outcome = first.finish();
    EXPECT_EQ(outcome.status, 0) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.last()["event"], "complete");
    EXPECT_EQ(outcome.last()["archive_updated"], true);
    EXPECT_GT(outcome.last()["pages"][0]["regions"].get<int>(), 0) << "the first run compared old with new";
}

TEST_F(ArchiveRun, LinksAndForeignRootsAreRefused) {
    write_sample_pdf(box.input("new/a.pdf"), 1, 0);
    fs::create_directory_symlink(root, box.inputs() / "linked");
    std::vector<std::string> line = arguments("register", {box.input("new/a.pdf")});
    line[line.size() - 3] = (box.inputs() / "linked").string();
    Outcome outcome = box.run(line);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.last()["message"], "保存版フォルダーをシンボリックリンクにはできません。");

    line = arguments("register", {box.input("new/a.pdf")});
    line.back() = "FFEEDDCCBBAA99887766554433221100";
    EXPECT_EQ(box.run(line).last()["message"], "保存版の案件を選択してください。");
    line.back() = "ffeeddcc";
    EXPECT_EQ(box.run(line).last()["message"], "保存版の案件を選択してください。");
}

}  // namespace tesmira::worker_tests
