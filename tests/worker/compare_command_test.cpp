// tesmira-compare: the worker's run for people and scripts, exiting like diff.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "common/files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

class CompareCommand : public WorkerTest {
protected:
    Outcome compare(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--dpi", "144"});
        return box.run_program(TESMIRA_COMPARE, arguments);
    }
    // Two folders "old" and "new" with a.pdf (changed on both pages) and b.pdf (unchanged).
    void write_folders() const {
        fs::create_directories(box.input("old"));
        fs::create_directories(box.input("new"));
        write_sample_pdf(box.input("old/a.pdf"), 2, 0);
        write_sample_pdf(box.input("new/a.pdf"), 2, 1);
        write_sample_pdf(box.input("old/b.pdf"), 1, 0);
        write_sample_pdf(box.input("new/b.pdf"), 1, 0);
    }
};

std::string path(const Sandbox& box, const std::string& relative) { return box.input(relative).string(); }

}  // namespace

// The verdict as diff gives it, the summary for a person, and nothing kept without --output.
TEST_F(CompareCommand, ExitsLikeDiffAndKeepsNothing) {
    write_folders();
    const struct {
        const char* what;
        std::string before, after;
        int status;
        std::string summary;
    } cases[] = {
        {"unchanged file", path(box, "old/b.pdf"), path(box, "new/b.pdf"), 0, "b.pdf: 1 page, no change\n"},
        {"changed file",
         path(box, "old/a.pdf"),
         path(box, "new/a.pdf"),
         1,
         "a.pdf: 2 pages, 2 changed\n  page 1: 2 regions ("},
        {"folders paired by name",
         path(box, "old"),
         path(box, "new"),
         1,
         "a.pdf: 2 pages, 2 changed\n  page 1: 2 regions ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = compare({c.before, c.after});
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind(c.summary, 0), 0u) << run.out;
        EXPECT_EQ(run.out.find("Result folder"), std::string::npos);
        EXPECT_EQ(entries(box.output()), std::set<std::string>{});
    }
    const Outcome both = compare({path(box, "old"), path(box, "new")});
    EXPECT_NE(both.out.find("\nb.pdf: 1 page, no change\n"), std::string::npos) << both.out;
}

// With --output the result folder stays there and the summary names it.
TEST_F(CompareCommand, OutputKeepsTheResultFolder) {
    write_folders();
    const Outcome run = compare({"--output", box.output().string(), path(box, "old/a.pdf"), path(box, "new/a.pdf")});
    ASSERT_EQ(run.status, 1) << run.err;
    const std::set<std::string> kept = entries(box.output());
    ASSERT_EQ(kept.size(), 1u);
    const fs::path folder = box.output() / *kept.begin();
    EXPECT_NE(run.out.find("Result folder: " + folder.string() + "\n"), std::string::npos) << run.out;
    EXPECT_EQ(entries(folder).size(), 1u);  // the result PDF
}

// --json gives the worker's own events for the same run.
TEST_F(CompareCommand, JsonGivesTheWorkersEvents) {
    write_folders();
    const Outcome compared = compare({"--json", path(box, "old"), path(box, "new")});
    const Outcome worker = box.run(
        comparison({box.input("old/a.pdf"), box.input("old/b.pdf")}, {box.input("new/a.pdf"), box.input("new/b.pdf")}));
    ASSERT_EQ(compared.status, 1) << compared.err;
    ASSERT_EQ(worker.status, 0) << worker.err;
    EXPECT_EQ(compared.names(), worker.names());
    ASSERT_EQ(compared.events.size(), worker.events.size());
    for (std::size_t i = 0; i + 1 < worker.events.size(); ++i) EXPECT_EQ(compared.events[i], worker.events[i]);
    const auto regions = [](const Outcome& run) {
        std::vector<long long> counts;
        for (const Json& page : run.last()["pages"]) counts.push_back(page["regions"]);
        return counts;
    };
    EXPECT_EQ(regions(compared), regions(worker));
}

// A changed page lists its changes, one a line: where, how large, and the words where there
// are words; --json carries the same changes in its page reports.
TEST_F(CompareCommand, ChangedPagesNameTheirChanges) {
    namespace fx = tesmira::fixtures;
    fx::Page before;
    before.media = {0, 0, 300, 200};
    fx::Page after = before;
    before.content = fx::text(40, 150, 12, "Price 1,280 yen") + fx::fill_rect({200, 40, 220, 60}, 0, 0, 0);
    after.content = fx::text(40, 150, 12, "Price 1,290 yen") + fx::fill_rect({200, 40, 220, 64}, 0, 0, 0);
    fx::add_cjk_text(before, 40, 100, 12, "今月と週末のセール");
    fx::add_cjk_text(after, 40, 100, 12, "今月とセール");
    fx::write_pdf({.pages = {before, before}}, box.input("old.pdf"));
    fx::write_pdf({.pages = {before, after}}, box.input("new.pdf"));

    const Outcome run = compare({path(box, "old.pdf"), path(box, "new.pdf")});
    ASSERT_EQ(run.status, 1) << run.err;
    // The price in words at its place; the square's grown edge without: 20 x 4 pt from 200 pt
    // across and 136 pt down, 40 x 8 pixels at 144 dpi, each 25.4 / 144 mm.
    const std::regex price(R"(\n  page 2: change at \d+\.\d, \d+\.\d mm \(\d\.\d × \d\.\d mm\): "1,280" → "1,290"\n)");
    EXPECT_TRUE(std::regex_search(run.out, price)) << run.out;
    const std::regex deleted(
        R"(\n  page 2: change at \d+\.\d, \d+\.\d mm \(\d+\.\d × \d\.\d mm\): "週末の" deleted\n)");
    EXPECT_TRUE(std::regex_search(run.out, deleted)) << run.out;
    EXPECT_NE(run.out.find("\n  page 2: change at 70.6, 48.0 mm (7.1 × 1.4 mm)\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("page 1:"), std::string::npos) << run.out;

    const Outcome json = compare({"--json", path(box, "old.pdf"), path(box, "new.pdf")});
    ASSERT_EQ(json.status, 1) << json.err;
    const Json& pages = json.last().at("pages");
    EXPECT_TRUE(pages.at(0).at("changes").empty());
    ASSERT_EQ(pages.at(1).at("changes").size(), 3u);
    EXPECT_EQ(pages.at(1).at("changes").at(0).at("old_text"), "Price 1,280 yen");
    EXPECT_EQ(pages.at(1).at("changes").at(1).at("new_text"), "今月とセール");
    EXPECT_EQ(pages.at(1).at("changes").at(2).at("box_mm"), Json::parse("[70.556, 47.978, 7.056, 1.411]"));
}

// Refusals and failures: status 2, the message on standard error, nothing on standard output.
TEST_F(CompareCommand, RefusalsExitTwoWithTheirMessage) {
    write_folders();
    const std::string a = path(box, "old/a.pdf"), b = path(box, "new/a.pdf");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{a}, "an old and a new PDF (or folder) are required"},
        {{a, b, a}, "only OLD and NEW are taken"},
        {{"--dpi", "x", a, b}, "option --dpi needs a whole number"},
        {{"--tolerance", a, b}, "option --tolerance needs a whole number"},
        {{"--colour", a, b}, "unrecognized option: --colour"},
        {{"--json=yes", a, b}, "option --json takes no value"},
        {{"--output", a, b}, "an old and a new PDF (or folder) are required"},
        {{"--dpi", "150", a, b}, "解像度を確認してください。"},
        {{"--border", "9", a, b}, "設定が範囲外です: border"},
        {{path(box, "old"), b}, "OLD and NEW must both be PDF files or both be folders"},
        {{path(box, "missing.pdf"), b}, "missing.pdf"},
        {{"--output", path(box, "nowhere"), a, b}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back() + " / " + c.message);
        const Outcome run = box.run_program(TESMIRA_COMPARE, c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("tesmira-compare: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(entries(box.output()), std::set<std::string>{});
}

TEST_F(CompareCommand, HelpAndVersionExitZero) {
    for (const char* option : {"--help", "-h", "--version"}) {
        const Outcome run = box.run_program(TESMIRA_COMPARE, {option});
        SCOPED_TRACE(option);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("tesmira-compare"), std::string::npos);
    }
    EXPECT_NE(box.run_program(TESMIRA_COMPARE, {"--help"}).out.find("Exit status: 0 when no page differs"),
              std::string::npos);
}

// Ctrl+C or SIGTERM during a run: status 130, and neither the unkept results nor a partial
// result folder stay.
TEST_F(CompareCommand, InterruptedRunLeavesNothing) {
    write_sample_then_endless_pdf(box.input("old.pdf"), 1, 2, 0);
    write_sample_then_endless_pdf(box.input("new.pdf"), 1, 2, 1);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        for (const bool kept : {false, true}) {
            std::vector<std::string> arguments = {"--json", "--dpi", "144", path(box, "old.pdf"), path(box, "new.pdf")};
            if (kept) arguments.insert(arguments.begin(), {"--output", box.output().string()});
            WorkerProcess process(arguments, box.temporary(), std::chrono::seconds(300), {}, {}, TESMIRA_COMPARE);
            ASSERT_TRUE(process.wait_for([](const Json& event) { return event.value("event", "") == "progress"; }));
            process.send(signal);
            const Outcome run = process.finish();
            EXPECT_EQ(run.status, 130) << run.err;
            EXPECT_EQ(entries(box.output()), std::set<std::string>{});
            EXPECT_EQ(entries(box.temporary()), std::set<std::string>{});
        }
    }
}
