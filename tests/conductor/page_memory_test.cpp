// A run's page buffers: every one given back when the run ends, whatever sizes its pages had,
// and a budget smaller than one page still compares every page, one at a time, keeping nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/allocator.hpp"
#include "conductor/export_pdfs.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using tesmira::Json;

namespace {

// Pages of the given sizes in points, each with a box that moves on the new side.
void write_pages(const fs::path& path, const std::vector<fx::Rect>& sizes, bool moved) {
    fx::Document document;
    for (const fx::Rect& size : sizes) {
        fx::Page page;
        page.media = size;
        const double x = moved ? 60 : 20;
        page.content = fx::fill_rect({x, 20, x + 10, 30}, 0, 0, 0) + fx::text(10, 50, 10, "page");
        document.pages.push_back(page);
    }
    fx::write_pdf(document, path);
}

class PageMemory : public ::testing::Test {
protected:
    fx::TempFolder folder;

    void SetUp() override { tesmira::reuse_freed_canvases(); }
    void TearDown() override { unsetenv("TESMIRA_MEMORY_BUDGET_MIB"); }

    // Compares the pages and returns their reports.
    Json run(const std::vector<fx::Rect>& sizes) {
        const fs::path old_pdf = folder.path() / "old.pdf", new_pdf = folder.path() / "new.pdf";
        write_pages(old_pdf, sizes, false);
        write_pages(new_pdf, sizes, true);
        const fs::path output = folder.path() / ("out" + std::to_string(runs_++));
        fs::create_directory(output);
        Json complete;
        tesmira::conductor::export_pdfs(
            {old_pdf}, {new_pdf}, output, Json{{"dpi", 144}}, [&](const std::string& event, const Json& fields) {
                if (event == "complete") complete = fields;
            });
        return complete.at("pages");
    }

private:
    int runs_ = 0;
};

const fx::Rect A5{0, 0, 420, 595}, A3{0, 0, 842, 1191};

TEST_F(PageMemory, ARunGivesBackEveryBufferAfterALargerPage) {
    const Json pages = run({A5, A3, A5, A5});
    ASSERT_EQ(pages.size(), 4u);
    for (const Json& page : pages) EXPECT_EQ(page.at("regions"), 2);
    EXPECT_EQ(tesmira::pooled_memory().in_use, 0u);
}

TEST_F(PageMemory, ABudgetSmallerThanOnePageRunsEachPageAlone) {
    tesmira::reset_pooled_peak();
    run({A3});
    const std::size_t one_page = tesmira::pooled_memory().peak;
    ASSERT_GT(one_page, 0u);

    setenv("TESMIRA_MEMORY_BUDGET_MIB", "1", 1);
    tesmira::reset_pooled_peak();
    const Json pages = run({A5, A3, A5, A3, A5});
    ASSERT_EQ(pages.size(), 5u);
    for (const Json& page : pages) EXPECT_EQ(page.at("regions"), 2);
    EXPECT_LE(tesmira::pooled_memory().peak, one_page) << "never two pages at once";
    EXPECT_EQ(tesmira::pooled_memory().in_use, 0u);
    EXPECT_EQ(tesmira::pooled_memory().kept, 0u) << "nothing kept beyond the budget";
}

}  // namespace
