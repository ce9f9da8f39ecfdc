// Several pages compared at once change nothing a user or the window can observe: the same
// events in the same order, the same reports and result pages as one page after the other, the
// same first failure with nothing of a later page written, and a page beyond the memory budget
// still compared, alone.
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cstdlib>
#include <regex>

#include "common/files.hpp"
#include "engine/image_reading.hpp"
#include "fixtures/hostile_pdfs.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "run_results.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

// `pages` pages, each with a square of its own place; `changed` pages have theirs moved.
void write_pages(const fs::path& path, int pages, const std::set<int>& changed) {
    fixtures::Document document;
    for (int page = 1; page <= pages; ++page) {
        fixtures::Page one;
        one.media = {0, 0, 200, 150};
        const double x = 20 + 12 * page + (changed.count(page) ? 7 : 0);
        one.content = fixtures::fill_rect({x, 40, x + 16, 56}, 0, 0, 0) + " " +
                      fixtures::fill_rect({150, 90.0 - page, 170, 110.0 - page}, 0.2, 0.4, 0.9);
        document.pages.push_back(one);
    }
    fs::create_directories(path.parent_path());
    fixtures::write_pdf(document, path);
}

class PagesAtOnce : public WorkerTest {
protected:
    Outcome run_with(const std::vector<std::string>& line, const std::vector<std::string>& environment) {
        fs::remove_all(box.output());
        fs::create_directories(box.output());
        WorkerProcess worker(line, box.temporary(), std::chrono::seconds(300), environment);
        return worker.finish();
    }
};

}  // namespace

TEST_F(PagesAtOnce, ChangeNothingOfWhatARunReports) {
    write_pages(box.input("one/old/カタログ.pdf"), 7, {});
    write_pages(box.input("one/new/カタログ.pdf"), 7, {2, 5});
    write_pages(box.input("many/old/a.pdf"), 2, {});
    write_pages(box.input("many/new/a.pdf"), 2, {1});
    write_pages(box.input("many/old/b.pdf"), 1, {});
    write_pages(box.input("many/new/b.pdf"), 1, {});
    write_pages(box.input("many/old/c.pdf"), 3, {});
    write_pages(box.input("many/new/c.pdf"), 3, {3});
    const struct {
        const char* what;
        std::vector<fs::path> before, after;
        std::string settings;
    } cases[] = {
        {"one pair of seven pages",
         {box.input("one/old/カタログ.pdf")},
         {box.input("one/new/カタログ.pdf")},
         R"({"dpi": 144})"},
        {"three pairs, the noise pass on",
         {box.input("many/old/a.pdf"), box.input("many/old/b.pdf"), box.input("many/old/c.pdf")},
         {box.input("many/new/a.pdf"), box.input("many/new/b.pdf"), box.input("many/new/c.pdf")},
         R"({"dpi": 144, "grain": true})"},
    };
    const fs::path scratch = box.inputs() / "pages";
    fs::create_directories(scratch);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto line = comparison(c.before, c.after, c.settings);
        const Outcome alone = run_with(line, {"TESMIRA_PAGES_AT_ONCE=1"});
        ASSERT_EQ(alone.status, 0) << alone.out << alone.err;
        const std::vector<cv::Mat> alone_pages = result_pages(alone, scratch, 144);
        const Outcome together = run_with(line, {"TESMIRA_PAGES_AT_ONCE=8", "TESMIRA_MEMORY_BUDGET_MIB=4096"});
        ASSERT_EQ(together.status, 0) << together.out << together.err;
        EXPECT_EQ(comparable(together), comparable(alone));
        const std::vector<cv::Mat> together_pages = result_pages(together, scratch, 144);
        ASSERT_EQ(together_pages.size(), alone_pages.size());
        for (std::size_t i = 0; i < alone_pages.size(); ++i) {
            ASSERT_EQ(together_pages[i].size(), alone_pages[i].size()) << i;
            EXPECT_EQ(cv::norm(together_pages[i], alone_pages[i], cv::NORM_INF), 0) << "result page " << i;
        }
        // Beyond the budget every page still runs, one at a time.
        const Outcome squeezed = run_with(line, {"TESMIRA_PAGES_AT_ONCE=8", "TESMIRA_MEMORY_BUDGET_MIB=1"});
        ASSERT_EQ(squeezed.status, 0) << squeezed.out << squeezed.err;
        EXPECT_EQ(comparable(squeezed), comparable(alone));
    }
}

// A page in the middle that fails: its message after exactly the events page after page gives,
// whatever was compared after it, and nothing left.
TEST_F(PagesAtOnce, AMiddlePagesFailureIsTheOneReported) {
    for (const char* side : {"old", "new"}) {
        const fs::path path = box.input(std::string(side) + "/a.pdf");
        write_pages(path, 6, {});
        fixtures::add_declared_huge_image(path, 2);  // page 3
    }
    for (const char* at_once : {"TESMIRA_PAGES_AT_ONCE=1", "TESMIRA_PAGES_AT_ONCE=8"}) {
        SCOPED_TRACE(at_once);
        const Outcome run = run_with(comparison({box.input("old/a.pdf")}, {box.input("new/a.pdf")}), {at_once});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(
            run.lines,
            (std::vector<std::string>{
                R"({"event": "start", "total": 6})",
                R"({"event": "progress", "page": 1, "total": 6})",
                R"({"event": "progress", "page": 2, "total": 6})",
                R"({"event": "progress", "page": 3, "total": 6})",
                R"({"event": "error", "message": "3ページ: 大きすぎる画像があるため比較できません（展開後1GBまで）。"})"}));
        EXPECT_TRUE(entries(box.output()).empty());
    }
}

}  // namespace tesmira::worker_tests
