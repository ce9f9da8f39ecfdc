// The old and the new page as the window shows them: the compared pages on the result's canvas.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <string>

#include "common/errors.hpp"
#include "engine/compare.hpp"
#include "engine/image_reading.hpp"
#include "engine/page_job.hpp"
#include "engine/page_views.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/refusal.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using tesmira::Json;
using tesmira::engine::draw_page_views;

namespace {

class PageViews : public ::testing::Test {
protected:
    fx::TempFolder folder;
    fs::path before = folder.path() / "before.pdf", after = folder.path() / "after.pdf";

    void write_pair(const std::string& old_content, const std::string& new_content, bool overprint = false) {
        for (const auto& [path, content] : {std::pair{before, old_content}, std::pair{after, new_content}}) {
            fx::Page page;
            page.media = {0, 0, 200, 200};
            page.content = content;
            fx::write_pdf(fx::many_pages(1, page), path);
            if (!overprint) continue;
            fx::ResourceEditor editor(path);
            editor.add("/ExtGState", "/Overprint", "<< /OP true /op true /OPM 1 >>");
            editor.save();
        }
    }
    // The page job's result image below its band, and its record.
    std::pair<cv::Mat, Json> compared(double dpi) {
        const Json record = tesmira::engine::run_job(
            folder.path(), Json{{"page", 1}, {"dpi", dpi}, {"tolerance", 1}, {"opacity", 10}, {"border", 2}});
        const cv::Mat banded = tesmira::engine::read_flattened_rgb(folder.path() / "result.png");
        const int band = record.at("header_height").get<int>();
        return {banded.rowRange(band, banded.rows).clone(), record};
    }
};

// Where two images differ, 255 there.
cv::Mat changed_mask(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat difference, channels[3];
    cv::absdiff(a, b, difference);
    cv::split(difference, channels);
    return (channels[0] | channels[1] | channels[2]) != 0;
}

cv::Rect box_of(const Json& box) {
    return {box.at("x").get<int>(), box.at("y").get<int>(), box.at("width").get<int>(), box.at("height").get<int>()};
}

}  // namespace

TEST_F(PageViews, AreTheComparedPagesOnTheResultCanvasDifferingOnlyInItsRegions) {
    write_pair("0 g 20 20 30 30 re f 0 0 1 rg 120 120 40 40 re f", "0 g 26 20 30 30 re f 0 0 1 rg 120 120 40 40 re f");
    for (double dpi : {144.0, 300.0}) {
        const auto [result, record] = compared(dpi);
        const tesmira::engine::PageViews views = draw_page_views(before, after, 1, dpi);
        ASSERT_EQ(views.before.size(), result.size()) << dpi;
        ASSERT_EQ(views.after.size(), result.size()) << dpi;
        // The diagnostic images of the job are the pages it compared.
        EXPECT_EQ(cv::countNonZero(
                      changed_mask(views.before, tesmira::engine::read_flattened_rgb(folder.path() / "before.png"))),
                  0);
        EXPECT_EQ(cv::countNonZero(
                      changed_mask(views.after, tesmira::engine::read_flattened_rgb(folder.path() / "after.png"))),
                  0);
        const cv::Mat changed = changed_mask(views.before, views.after);
        // The square moved: its two edges are the regions, and every difference is in them.
        ASSERT_EQ(record.at("boxes").size(), 2u) << dpi;
        cv::Mat in_regions = cv::Mat::zeros(changed.size(), CV_8U);
        for (const Json& box : record.at("boxes")) in_regions(box_of(box)).setTo(255);
        EXPECT_EQ(cv::countNonZero(changed & ~in_regions), 0) << dpi;
        for (const Json& box : record.at("boxes")) EXPECT_GT(cv::countNonZero(changed(box_of(box))), 0) << dpi;
        // The margin is white, as on the result.
        EXPECT_EQ(views.after.at<cv::Vec3b>(2, 2), cv::Vec3b(255, 255, 255));
    }
}

TEST_F(PageViews, PagesThatPrintDifferentlyAreShownAsTheyPrint) {
    // Yellow knocked out of a cyan panel against yellow overprinting it: green on press.
    const std::string panel = "1 0 0 0 k 20 20 160 160 re f ";
    write_pair(panel + "0 0 1 0 k 60 60 80 80 re f", panel + "/Overprint gs 0 0 1 0 k 60 60 80 80 re f", true);
    const auto [result, record] = compared(144);
    const tesmira::engine::PageViews views = draw_page_views(before, after, 1, 144);
    const cv::Point centre(tesmira::engine::CANVAS_MARGIN + 200, tesmira::engine::CANVAS_MARGIN + 200);
    const cv::Vec3b old_colour = views.before.at<cv::Vec3b>(centre), new_colour = views.after.at<cv::Vec3b>(centre);
    EXPECT_GT(old_colour[0], 200) << "yellow: red and green, no blue";
    EXPECT_LT(new_colour[0], 100) << "green: cyan and yellow together";
    EXPECT_GT(new_colour[1], 100);
    // Inside its region the result shows the new page at full colour: the new view's colour.
    EXPECT_EQ(result.at<cv::Vec3b>(centre), new_colour);
}

TEST_F(PageViews, RefuseWhatTheComparisonRefuses) {
    write_pair("0 g 20 20 30 30 re f", "0 g 20 20 30 30 re f");
    EXPECT_EQ(fx::refusal([&] { draw_page_views(before, after, 2, 144); }),
              "指定ページがありません。このPDFは1ページです。");
    fx::Page wide;
    wide.media = {0, 0, 300, 200};
    fx::write_pdf(fx::many_pages(1, wide), after);
    EXPECT_EQ(fx::refusal([&] { draw_page_views(before, after, 1, 144); }), "新旧PDFの仕上がりサイズが異なります。");
}
