// The PDFs a run compared, kept for the window's old and new views, and the helper that draws
// those views from them.
#include <sys/wait.h>

#include <cstdlib>

#include "common/files.hpp"
#include "png/chunks.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

struct HelperRun {
    int status = -1;
    std::string err;
};

// tesmira-page-views with its six arguments.
HelperRun draw_views(const fs::path& pair, int page, const std::string& dpi, const fs::path& out) {
    const fs::path err = out / "stderr.txt";
    const std::string command = std::string("'") + TESMIRA_PAGE_VIEWS + "' '" + (pair / "before.pdf").string() + "' '" +
                                (pair / "after.pdf").string() + "' " + std::to_string(page) + " " + dpi + " '" +
                                (out / "old.png").string() + "' '" + (out / "new.png").string() + "' 2> '" +
                                err.string() + "'";
    const int raw = std::system(command.c_str());
    HelperRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_text_file(err)};
    fs::remove(err);
    return run;
}

class ComparedCopies : public WorkerTest {
protected:
    fs::path kept = box.inputs() / "kept";
    void SetUp() override {
        fs::create_directories(box.input("old"));
        fs::create_directories(box.input("new"));
        fs::create_directory(kept);
    }
    std::vector<std::string> keeping(std::vector<std::string> line) const {
        line.push_back("--compared-copies");
        line.push_back(kept.string());
        return line;
    }
};

}  // namespace

TEST_F(ComparedCopies, AreTheComparedBytesPerOldFileNameAndDrawTheResultsCanvas) {
    for (const std::string name : {"a.pdf", "b.pdf"}) {
        write_sample_pdf(box.input("old/" + name), 2, 0);
        write_sample_pdf(box.input("new/" + name), 2, name == "a.pdf" ? 1 : 0);
    }
    const Outcome run = box.run(keeping(comparison({box.input("old/a.pdf"), box.input("old/b.pdf")},
                                                   {box.input("new/a.pdf"), box.input("new/b.pdf")})));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(entries(kept), (std::set<std::string>{"a.pdf", "b.pdf"}));
    for (const std::string name : {"a.pdf", "b.pdf"}) {
        EXPECT_EQ(read_text_file(kept / name / "before.pdf"), read_text_file(box.input("old/" + name))) << name;
        EXPECT_EQ(read_text_file(kept / name / "after.pdf"), read_text_file(box.input("new/" + name))) << name;
    }
    // The worker's own copies: what the user does to the files afterwards does not reach them.
    write_sample_pdf(box.input("new/a.pdf"), 2, 0);
    EXPECT_NE(read_text_file(kept / "a.pdf" / "after.pdf"), read_text_file(box.input("new/a.pdf")));

    // The views of a changed page are the size of the result image below its band, and differ
    // where its regions are.
    const Json& page = run.last().at("pages").at(1);
    ASSERT_EQ(page.at("source_name"), "a.pdf");
    ASSERT_GE(page.at("boxes").size(), 1u);
    const HelperRun views = draw_views(kept / "a.pdf", 2, "144", box.inputs());
    ASSERT_EQ(views.status, 0) << views.err;
    const auto header = tesmira::png::probe_header(box.inputs() / "old.png");
    ASSERT_TRUE(header);
    const int side = 100 * 144 / 72 + 2 * 50;  // the sample's 100-point page in its margin
    EXPECT_EQ(header->width, side);
    EXPECT_EQ(header->height, side);
    EXPECT_NE(read_text_file(box.inputs() / "old.png"), read_text_file(box.inputs() / "new.png"));
    EXPECT_FALSE(fs::exists(box.inputs() / "old.png.partial"));
}

TEST_F(ComparedCopies, AreBestEffortAndTheHelperReportsItsFailures) {
    write_sample_pdf(box.input("old/a.pdf"), 1, 0);
    write_sample_pdf(box.input("new/a.pdf"), 1, 1);
    fs::remove(kept);  // the window's folder has gone: the run is not harmed
    const Outcome run = box.run(keeping(comparison({box.input("old/a.pdf")}, {box.input("new/a.pdf")})));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.last().value("event", ""), "complete");
    EXPECT_FALSE(fs::exists(kept));

    const fs::path pair = box.inputs() / "pair";
    fs::create_directory(pair);
    write_text_file(pair / "before.pdf", "no PDF");
    fs::copy_file(box.input("new/a.pdf"), pair / "after.pdf");
    HelperRun failed = draw_views(pair, 1, "144", box.inputs());
    EXPECT_EQ(failed.status, 1);
    EXPECT_FALSE(failed.err.empty());
    EXPECT_FALSE(fs::exists(box.inputs() / "old.png"));
    fs::copy_file(box.input("old/a.pdf"), pair / "before.pdf", fs::copy_options::overwrite_existing);
    failed = draw_views(pair, 1, "150", box.inputs());
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "解像度は144・200・300dpiから選択してください。\n");
}

// The helper writes each image into a new file of its own beside it and renames it into place:
// a link planted under the names it once used, or under the image's own name, is never written
// through, and when the rename fails nothing is left behind.
TEST_F(ComparedCopies, TheHelperWritesThroughNoLinkAndLeavesNothingBehind) {
    const fs::path pair = box.inputs() / "pair";
    fs::create_directory(pair);
    write_sample_pdf(pair / "before.pdf", 1, 0);
    write_sample_pdf(pair / "after.pdf", 1, 1);
    const fs::path victim = box.inputs() / "victim.txt";
    write_text_file(victim, "untouched");

    const fs::path linked = box.inputs() / "linked";
    fs::create_directory(linked);
    fs::create_symlink(victim, linked / "old.png.partial");
    fs::create_symlink(victim, linked / "new.png");
    const HelperRun drawn = draw_views(pair, 1, "144", linked);
    EXPECT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_EQ(read_text_file(victim), "untouched");
    EXPECT_EQ(entries(linked), (std::set<std::string>{"old.png", "old.png.partial", "new.png"}));
    EXPECT_TRUE(fs::is_symlink(linked / "old.png.partial"));
    for (const char* image : {"old.png", "new.png"}) {
        EXPECT_FALSE(fs::is_symlink(linked / image)) << image;
        EXPECT_TRUE(tesmira::png::probe_header(linked / image)) << image;
    }

    const fs::path blocked = box.inputs() / "blocked";
    fs::create_directories(blocked / "new.png");
    const HelperRun failed = draw_views(pair, 1, "144", blocked);
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("new.png"), std::string::npos) << failed.err;
    EXPECT_EQ(entries(blocked), (std::set<std::string>{"old.png", "new.png"}));
    EXPECT_EQ(entries(blocked / "new.png"), std::set<std::string>{});
}

}  // namespace tesmira::worker_tests
