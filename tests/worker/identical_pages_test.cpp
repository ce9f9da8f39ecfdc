// Pages proven to draw alike change nothing a run reports. New pages whose graphs differ from
// the old ones only in what draws nothing are compared page by page; the same new pages written
// again with object streams and new numbers are proven alike, all but the one page that
// changed. Both runs give the same events and result pages.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "pdf/page_identity.hpp"
#include "run_results.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;

namespace tesmira::worker_tests {
namespace {

class IdenticalPages : public WorkerTest {};

// Pages of text, rules and an image, the third with a change of its own on the new side.
void write_document(const fs::path& path, bool changed) {
    fixtures::Document document;
    for (int page = 1; page <= 4; ++page) {
        fixtures::Page one;
        one.media = {0, 0, 200, 150};
        one.images.push_back(fixtures::solid_image(3, 2, {40, 90, 200}));
        const double x = page == 3 && changed ? 47 : 40;
        one.content = fixtures::text(10, 120, 10, "Page " + std::to_string(page)) +
                      fixtures::fill_rect({x, 40, x + 16, 56}, 0, 0, 0) +
                      fixtures::draw_image(0, 60, 0, 0, 30, 120, 60);
        document.pages.push_back(one);
    }
    fs::create_directories(path.parent_path());
    fixtures::write_pdf(document, path);
}

}  // namespace

TEST_F(IdenticalPages, ReportWhatComparingThePagesReports) {
    write_document(box.input("old/a.pdf"), false);
    write_document(box.input("compared/a.pdf"), true);
    // The same pages with an unused graphics state each: their graphs differ, their drawings do not.
    fixtures::ResourceEditor editor(box.input("compared/a.pdf"));
    for (int page = 0; page < editor.page_count(); ++page) editor.add("/ExtGState", "/Unused", "<< /CA 1 >>", page);
    editor.save();
    // The same pages without it, written with object streams and new numbers.
    fs::create_directories(box.input("proven"));
    {
        // qpdf keeps the file names it is given.
        const std::string from = box.input("compared/a.pdf").string(), to = box.input("proven/a.pdf").string();
        QPDF pdf;
        pdf.processFile(from.c_str());
        for (QPDFObjectHandle page : pdf.getAllPages()) page.getKey("/Resources").removeKey("/ExtGState");
        QPDFWriter writer(pdf, to.c_str());
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.setStreamDataMode(qpdf_s_preserve);
        writer.write();
    }
    const auto identical = [&](const char* side) {
        std::vector<bool> pages;
        for (const pdf::PagePair& pair : pdf::page_pairs(box.input("old/a.pdf"), box.input(side)))
            pages.push_back(pair.identical);
        return pages;
    };
    ASSERT_EQ(identical("proven/a.pdf"), std::vector<bool>({true, true, false, true}));
    ASSERT_EQ(identical("compared/a.pdf"), std::vector<bool>({false, false, false, false}));

    const fs::path scratch = box.inputs() / "pages";
    fs::create_directories(scratch);
    const auto run = [&](const char* side) {
        fs::remove_all(box.output());
        fs::create_directories(box.output());
        return box.run(comparison({box.input("old/a.pdf")},
                                  {box.input(std::string(side) + "/a.pdf")},
                                  R"({"dpi": 144, "grain": true, "tiny_markers": true})"));
    };
    const Outcome compared = run("compared");
    ASSERT_EQ(compared.status, 0) << compared.err;
    const std::vector<cv::Mat> compared_pages = result_pages(compared, scratch, 144);
    const Outcome proven = run("proven");
    ASSERT_EQ(proven.status, 0) << proven.err;
    const std::vector<cv::Mat> proven_pages = result_pages(proven, scratch, 144);
    EXPECT_EQ(comparable(proven), comparable(compared));
    EXPECT_EQ(proven.last().at("pages")[2].at("regions"), 2);  // the box's old place and its new
    ASSERT_EQ(proven_pages.size(), 8u);                        // result and strict pages
    ASSERT_EQ(compared_pages.size(), proven_pages.size());
    for (std::size_t i = 0; i < proven_pages.size(); ++i) {
        ASSERT_EQ(proven_pages[i].size(), compared_pages[i].size()) << i;
        EXPECT_EQ(cv::norm(proven_pages[i], compared_pages[i], cv::NORM_INF), 0) << "result page " << i;
    }
}

}  // namespace tesmira::worker_tests
