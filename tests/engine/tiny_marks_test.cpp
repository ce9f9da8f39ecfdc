#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "engine/tiny_marks.hpp"

using tesmira::engine::mark_tiny_changes;
using tesmira::engine::MarkedImage;
using tesmira::engine::TinyRectangle;

namespace {

const cv::Vec3b kRed(255, 0, 0);
const cv::Vec3b kPaper(40, 120, 200);

cv::Mat result_image(int rows, int cols) { return cv::Mat(rows, cols, CV_8UC3, cv::Scalar(40, 120, 200)); }

bool same(const cv::Mat& a, const cv::Mat& b) {
    return a.size == b.size && a.type() == b.type() && cv::countNonZero(cv::Mat(a != b).reshape(1)) == 0;
}

std::string record(const TinyRectangle& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
           std::to_string(r.height) + " c" + std::to_string(r.components);
}

// A result image and a mask of one canvas, kept for checking that the call leaves them alone.
struct Canvas {
    cv::Mat result, mask;
    Canvas(int rows, int cols) : result(result_image(rows, cols)), mask(cv::Mat::zeros(rows, cols, CV_8U)) {}
    void dot(int x, int y, uchar value = 255) { mask.at<uchar>(y, x) = value; }
    MarkedImage mark(double dpi) const {
        const cv::Mat result_copy = result.clone(), mask_copy = mask.clone();
        MarkedImage marked = mark_tiny_changes(result, mask, dpi);
        EXPECT_TRUE(same(result, result_copy));
        EXPECT_TRUE(same(mask, mask_copy));
        EXPECT_NE(marked.image.data, result.data);
        EXPECT_EQ(marked.image.size(), result.size());
        EXPECT_EQ(marked.image.type(), result.type());
        return marked;
    }
};

TEST(TinyMarks, EmptyMaskGivesAPlainCopyAndTheFullRecord) {
    const Canvas canvas(120, 150);
    const MarkedImage marked = canvas.mark(300);
    EXPECT_TRUE(same(marked.image, canvas.result));
    EXPECT_EQ(marked.marks.to_json().dump(),
              R"({"enabled":true,"tiny_components":0,"rectangles":[],"dense_groups_omitted":0,)"
              R"("limit_groups_omitted":0,"max_component_mm":1.5,"min_box_mm":3})");
}

TEST(TinyMarks, RecordKeysWithABox) {
    Canvas canvas(300, 300);
    canvas.dot(150, 150);
    EXPECT_EQ(canvas.mark(300).marks.to_json().dump(),
              R"({"enabled":true,"tiny_components":1,)"
              R"("rectangles":[{"x":133,"y":133,"width":37,"height":37,"components":1}],)"
              R"("dense_groups_omitted":0,"limit_groups_omitted":0,"max_component_mm":1.5,"min_box_mm":3})");
}

TEST(TinyMarks, TinyMeansBothSidesWithinOneAndAHalfMillimetres) {
    struct Case {
        double dpi;
        int width, height;
        bool tiny;
    };
    for (const Case c : {Case{300, 18, 18, true},
                         Case{300, 19, 18, false},
                         Case{300, 18, 19, false},
                         Case{200, 12, 12, true},
                         Case{200, 13, 1, false},
                         Case{144, 9, 9, true},
                         Case{144, 1, 10, false}}) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi " << c.width << "x" << c.height);
        Canvas canvas(300, 300);
        canvas.mask(cv::Rect(120, 120, c.width, c.height)).setTo(7);  // any non-zero value is a change
        const MarkedImage marked = canvas.mark(c.dpi);
        EXPECT_EQ(marked.marks.tiny_components, c.tiny ? 1 : 0);
        EXPECT_EQ(marked.marks.rectangles.size(), c.tiny ? 1u : 0u);
        EXPECT_EQ(same(marked.image, canvas.result), !c.tiny);
    }
}

TEST(TinyMarks, SinglePixelBoxAndLineThicknessByResolution) {
    struct Case {
        double dpi;
        int rows, cols, x, y;
        std::string box;
        int thickness;
    };
    for (const Case& c : {Case{300, 1300, 1100, 1000, 1200, "983,1183 37x37 c1", 2},
                          Case{200, 300, 300, 100, 100, "89,89 25x25 c1", 1},
                          Case{144, 300, 300, 100, 100, "92,92 19x19 c1", 1}}) {
        SCOPED_TRACE(c.dpi);
        Canvas canvas(c.rows, c.cols);
        canvas.dot(c.x, c.y);
        const MarkedImage marked = canvas.mark(c.dpi);
        ASSERT_EQ(marked.marks.rectangles.size(), 1u);
        const TinyRectangle& r = marked.marks.rectangles[0];
        EXPECT_EQ(record(r), c.box);
        const cv::Mat& image = marked.image;
        const int right = r.x + r.width - 1, bottom = r.y + r.height - 1;
        EXPECT_EQ(image.at<cv::Vec3b>(r.y, r.x), kRed);
        EXPECT_EQ(image.at<cv::Vec3b>(bottom, right), kRed);
        EXPECT_EQ(image.at<cv::Vec3b>(c.y, c.x), kPaper);
        // A thick line is centred on the box edge: thickness 2 covers the edge and one pixel each side.
        const int spread = c.thickness == 2 ? 1 : 0;
        EXPECT_EQ(image.at<cv::Vec3b>(c.y, r.x - spread), kRed);
        EXPECT_EQ(image.at<cv::Vec3b>(c.y, r.x + spread), kRed);
        EXPECT_EQ(image.at<cv::Vec3b>(c.y, r.x - spread - 1), kPaper);
        EXPECT_EQ(image.at<cv::Vec3b>(c.y, r.x + spread + 1), kPaper);
        EXPECT_EQ(image.at<cv::Vec3b>(bottom + spread, c.x), kRed);
        EXPECT_EQ(image.at<cv::Vec3b>(bottom + spread + 1, c.x), kPaper);
    }
}

TEST(TinyMarks, ComponentsCloseTogetherShareABox) {
    struct Case {
        const char* name;
        int gap;  // columns between the two pixels
        std::vector<std::string> boxes;
    };
    for (const Case& c :
         {Case{"nineteen", 19, {"91,133 39x37 c2"}}, Case{"twenty", 20, {"83,133 37x37 c1", "103,133 37x37 c1"}}}) {
        SCOPED_TRACE(c.name);
        Canvas canvas(300, 300);
        canvas.dot(100, 150);
        canvas.dot(100 + c.gap, 150);
        const MarkedImage marked = canvas.mark(300);
        EXPECT_EQ(marked.marks.tiny_components, 2);
        std::vector<std::string> boxes;
        for (const TinyRectangle& r : marked.marks.rectangles) boxes.push_back(record(r));
        EXPECT_EQ(boxes, c.boxes);
    }
}

TEST(TinyMarks, LargeRegionsNeitherCountNorWidenAGroup) {
    Canvas canvas(300, 300);
    canvas.dot(150, 150);
    canvas.mask(cv::Rect(153, 140, 40, 40)).setTo(255);  // three columns to the right of the pixel
    const MarkedImage marked = canvas.mark(300);
    EXPECT_EQ(marked.marks.tiny_components, 1);
    ASSERT_EQ(marked.marks.rectangles.size(), 1u);
    EXPECT_EQ(record(marked.marks.rectangles[0]), "133,133 37x37 c1");
}

TEST(TinyMarks, DenseGroupsAreLeftOut) {
    struct Case {
        const char* name;
        std::vector<int> offsets;  // pixel positions along the line
        bool vertical;
        std::string box;  // "" when left out as dense
    };
    // The group box is the span of the pixels plus 18 (nine pixels of grouping radius each side).
    const std::vector<Case> cases = {
        {"NineSpanning71", {0, 6, 12, 18, 24, 30, 36, 42, 52}, false, ""},
        {"NineSpanning71Vertically", {0, 6, 12, 18, 24, 30, 36, 42, 52}, true, ""},
        {"NineSpanning70", {0, 6, 12, 18, 24, 30, 36, 42, 51}, false, "91,133 71x37 c9"},
        {"EightSpanning119", {0, 15, 30, 45, 60, 75, 90, 100}, false, "91,133 120x37 c8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(300, 300);
        for (int offset : c.offsets) c.vertical ? canvas.dot(150, 100 + offset) : canvas.dot(100 + offset, 150);
        const MarkedImage marked = canvas.mark(300);
        EXPECT_EQ(marked.marks.tiny_components, int(c.offsets.size()));
        if (c.box.empty()) {
            EXPECT_EQ(marked.marks.dense_groups_omitted, 1);
            EXPECT_TRUE(marked.marks.rectangles.empty());
            EXPECT_TRUE(same(marked.image, canvas.result));
        } else {
            EXPECT_EQ(marked.marks.dense_groups_omitted, 0);
            ASSERT_EQ(marked.marks.rectangles.size(), 1u);
            EXPECT_EQ(record(marked.marks.rectangles[0]), c.box);
        }
    }
}

TEST(TinyMarks, DrawsAtMost24BoxesInReadingOrder) {
    // 30 lone pixels in 5 rows of 6, then a dense group below them.
    Canvas canvas(320, 320);
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 6; ++col) canvas.dot(40 + 40 * col, 40 + 40 * row);
    for (int offset : {0, 6, 12, 18, 24, 30, 36, 42, 52}) canvas.dot(100 + offset, 270);

    const MarkedImage marked = canvas.mark(300);
    EXPECT_EQ(marked.marks.tiny_components, 39);
    EXPECT_EQ(marked.marks.limit_groups_omitted, 6);
    EXPECT_EQ(marked.marks.dense_groups_omitted, 1);  // dense even after the 24th box
    ASSERT_EQ(marked.marks.rectangles.size(), 24u);
    for (int i = 0; i < 24; ++i) {
        const int x = 40 + 40 * (i % 6) - 17, y = 40 + 40 * (i / 6) - 17;
        EXPECT_EQ(record(marked.marks.rectangles[std::size_t(i)]),
                  std::to_string(x) + "," + std::to_string(y) + " 37x37 c1");
    }
    // The row left without boxes stays unmarked.
    EXPECT_EQ(marked.image.at<cv::Vec3b>(200 - 17, 40 - 17), kPaper);
}

TEST(TinyMarks, BoxesAreCutAtTheCanvasEdge) {
    struct Case {
        int x, y;
        std::string box;
    };
    for (const Case& c : {Case{0, 0, "0,0 24x24 c1"}, Case{199, 199, "177,177 23x23 c1"}}) {
        SCOPED_TRACE(c.box);
        Canvas canvas(200, 200);
        canvas.dot(c.x, c.y);
        const MarkedImage marked = canvas.mark(300);
        ASSERT_EQ(marked.marks.rectangles.size(), 1u);
        const TinyRectangle& r = marked.marks.rectangles[0];
        EXPECT_EQ(record(r), c.box);
        EXPECT_EQ(marked.image.at<cv::Vec3b>(r.y, r.x), kRed);
        EXPECT_EQ(marked.image.at<cv::Vec3b>(r.y + r.height - 1, r.x + r.width - 1), kRed);
    }
}

}  // namespace
