#include <gtest/gtest.h>
#include <sys/resource.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <opencv2/core.hpp>

#include <filesystem>
#include <fstream>
#include <set>

#include "common/errors.hpp"
#include "engine/render.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/refusal.hpp"
#include "fixtures/temp_folder.hpp"
#include "pdf/mupdf_document.hpp"

namespace fx = tesmira::fixtures;
using tesmira::UserError;
using tesmira::engine::render_pdf;

namespace {

const char* const RESOLUTION = "解像度は144・200・300dpiから選択してください。";
const char* const ENCRYPTED = "パスワード付きPDFは対応していません。";
const char* const PAGE_COUNT = "PDFは1〜50ページにしてください。";
const char* const USER_UNIT = "UserUnitが標準以外のPDFは、この試作では未対応です。";

fx::Page small_page() {
    fx::Page page;
    page.media = {0, 0, 72, 72};
    return page;
}

std::set<std::tuple<int, int, int>> colours(const cv::Mat& rgb) {
    std::set<std::tuple<int, int, int>> found;
    for (int r = 0; r < rgb.rows; ++r)
        for (int c = 0; c < rgb.cols; ++c) {
            cv::Vec3b p = rgb.at<cv::Vec3b>(r, c);
            found.insert({p[0], p[1], p[2]});
        }
    return found;
}

class Render : public ::testing::Test {
protected:
    fx::TempFolder folder;
    std::filesystem::path write(const fx::Document& doc, const char* name = "page.pdf") {
        auto path = folder.path() / name;
        fx::write_pdf(doc, path);
        return path;
    }
    std::string refusal(const std::filesystem::path& path, int page, double dpi) {
        return tesmira::fixtures::refusal([&] { render_pdf(path, page, dpi); });
    }
};

}  // namespace

TEST_F(Render, RefusalsComeInTheirOrder) {
    fx::Document encrypted_long = fx::many_pages(60, small_page());
    encrypted_long.encryption = fx::Encryption::empty_user_password;
    fx::Document locked = fx::many_pages(1, small_page());
    locked.encryption = fx::Encryption::user_password;
    fx::Page huge = small_page();
    huge.media = {0, 0, 9000, 100};
    fx::Page unit_two = small_page();
    unit_two.user_unit = "2";
    unit_two.media = {0, 0, 9000, 100};  // the unit check comes before the size check

    const auto missing = folder.path() / "missing.pdf";
    const auto three = write(fx::many_pages(3, small_page()), "three.pdf");
    struct Case {
        std::filesystem::path path;
        int page;
        double dpi;
        std::string message;
    } cases[] = {
        {missing, 1, 150, RESOLUTION},
        {three, 1, 72, RESOLUTION},
        {write(encrypted_long, "encrypted.pdf"), 1, 300, ENCRYPTED},
        {write(locked, "locked.pdf"), 1, 300, ENCRYPTED},
        {write(fx::many_pages(51, small_page()), "fifty-one.pdf"), 1, 300, PAGE_COUNT},
        {three, 0, 300, "指定ページがありません。このPDFは3ページです。"},
        {three, 4, 300, "指定ページがありません。このPDFは3ページです。"},
        {write(fx::many_pages(1, unit_two), "unit.pdf"), 1, 300, USER_UNIT},
        {write(fx::many_pages(1, huge), "huge.pdf"),
         1,
         300,
         "仕上がりサイズは3175.0×35.3mmです。1辺3000mm以内にしてください。"},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(c.path, c.page, c.dpi), c.message) << c.path;
}

TEST_F(Render, UserUnitOfOneInAnyFormPasses) {
    struct Case {
        std::optional<std::string> unit;
        bool accepted;
    } cases[] = {{std::nullopt, true}, {"1", true}, {"1.0", true}, {"2", false}, {"0.5", false}};
    for (const Case& c : cases) {
        fx::Page page = small_page();
        page.user_unit = c.unit;
        auto path = write(fx::many_pages(1, page));
        EXPECT_EQ(refusal(path, 1, 144) == tesmira::fixtures::NO_REFUSAL, c.accepted) << c.unit.value_or("absent");
    }
}

TEST_F(Render, LibraryFailuresPassThroughAsTheirOwnErrors) {
    fx::Page page = small_page();
    page.user_unit = "/Foo";
    const auto not_a_number = write(fx::many_pages(1, page), "name-unit.pdf");
    const auto garbage = folder.path() / "garbage.pdf";
    std::ofstream(garbage) << "this is not a PDF at all";
    for (const auto& path : {folder.path() / "missing.pdf", garbage, not_a_number}) {
        try {
            render_pdf(path, 1, 300);
            ADD_FAILURE() << "rendered " << path;
        } catch (const UserError& error) {
            ADD_FAILURE() << path << " refused as a user error: " << error.what();
        } catch (const std::exception& error) {
            EXPECT_STRNE(error.what(), "") << path;
        }
    }
}

TEST_F(Render, PixelSizeFollowsTheResolution) {
    const auto a4 = write(fx::many_pages(1, fx::Page{}));
    struct Case {
        double dpi;
        int width, height;
    } cases[] = {{300, 2481, 3508}, {300.0, 2481, 3508}, {200, 1654, 2339}, {144, 1191, 1684}};
    for (const Case& c : cases) {
        auto page = render_pdf(a4, 1, c.dpi);
        EXPECT_EQ(page.pixels.cols, c.width) << c.dpi;
        EXPECT_EQ(page.pixels.rows, c.height) << c.dpi;
        EXPECT_EQ(page.pixels.type(), CV_8UC3);
        EXPECT_EQ(page.info.width_mm, 210.0);
        EXPECT_EQ(page.info.height_mm, 297.0);
    }
}

TEST_F(Render, RotationSwapsTheSidesWhetherOwnOrInherited) {
    fx::Page page;
    page.media = {0, 0, 595, 842};
    fx::Page rotated = page;
    rotated.rotate = 90;
    fx::Document inherited = fx::many_pages(1, page);
    inherited.inherited_rotate = 270;
    struct Case {
        fx::Document doc;
        double width_mm, height_mm;
    } cases[] = {
        {fx::many_pages(1, page), 209.903, 297.039},
        {fx::many_pages(1, rotated), 297.039, 209.903},
        {inherited, 297.039, 209.903},
    };
    for (const Case& c : cases) {
        auto result = render_pdf(write(c.doc), 1, 144);
        EXPECT_EQ(result.info.width_mm, c.width_mm);
        EXPECT_EQ(result.info.height_mm, c.height_mm);
        EXPECT_EQ(result.pixels.cols > result.pixels.rows, c.width_mm > c.height_mm);
    }
}

TEST_F(Render, RotationIsReadAsTheRendererReadsIt) {
    // The array takes the orientation in which MuPDF draws the page, also for /Rotate values
    // that are no multiple of 90 or too large for an int.
    struct Case {
        const char* token;
        bool turned;
    } cases[] = {
        {"44.6", true},          // rounded half up: 45, which snaps to 90
        {"-44.6", false},        // -44 snaps to 0
        {"134.5", false},        // 135 snaps to 180
        {"99999999999", false},  // low 32 bits 1215752191: 151, which snaps to 180
        {"2147483648", true},    // the lowest int: 128 below 360, which snaps to 270
        {"-2147483648", true},
        {"100000000000000000000.0", false},  // a real beyond int counts as no rotation
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        fx::Page page = small_page();
        page.media = {0, 0, 200, 100};
        page.rotate_token = c.token;
        const auto path = write(fx::many_pages(1, page));
        const auto result = render_pdf(path, 1, 144);
        EXPECT_EQ(result.pixels.rows > result.pixels.cols, c.turned);

        tesmira::pdf::MupdfContext mupdf;
        const auto doc = tesmira::pdf::open_pdf_document(mupdf, path);
        const auto loaded = tesmira::pdf::load_pdf_page(mupdf, doc.get(), 0);
        fz_rect bounds{};
        mupdf.run([&] { bounds = fz_bound_page(mupdf.get(), &loaded->super); });
        EXPECT_EQ(bounds.y1 - bounds.y0 > bounds.x1 - bounds.x0, c.turned);
    }
}

TEST_F(Render, RotatedContentIsTurnedWithThePage) {
    // A black square in the bottom-left corner of the unrotated page ends up top-left
    // after a quarter turn clockwise.
    fx::Page page;
    page.media = {0, 0, 200, 100};
    page.rotate = 90;
    page.content = fx::fill_rect({0, 0, 20, 20}, 0, 0, 0);
    auto result = render_pdf(write(fx::many_pages(1, page)), 1, 144);
    ASSERT_EQ(result.pixels.cols, 200);
    ASSERT_EQ(result.pixels.rows, 400);
    EXPECT_EQ(result.pixels.at<cv::Vec3b>(5, 5), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(result.pixels.at<cv::Vec3b>(394, 5), cv::Vec3b(255, 255, 255));
}

TEST_F(Render, PageIsCutToTheTrimBoxThenCropThenMedia) {
    // Red bleed everywhere, blue inside the trim box; the trim box is all that remains.
    fx::Page page;
    page.media = {0, 0, 300, 300};
    page.crop = {10, 10, 290, 290};
    page.trim = {50, 60, 250, 200};
    page.content = fx::fill_rect({0, 0, 300, 300}, 1, 0, 0) + fx::fill_rect({50, 60, 250, 200}, 0, 0, 1);
    auto trimmed = render_pdf(write(fx::many_pages(1, page)), 1, 144);
    EXPECT_EQ(trimmed.pixels.cols, 400);
    EXPECT_EQ(trimmed.pixels.rows, 280);
    EXPECT_EQ(colours(trimmed.pixels), (std::set<std::tuple<int, int, int>>{{0, 0, 255}}));

    page.trim.reset();
    auto cropped = render_pdf(write(fx::many_pages(1, page)), 1, 144);
    EXPECT_EQ(cropped.pixels.cols, 560);
    EXPECT_EQ(cropped.pixels.rows, 560);

    page.crop.reset();
    auto whole = render_pdf(write(fx::many_pages(1, page)), 1, 144);
    EXPECT_EQ(whole.pixels.cols, 600);
    EXPECT_EQ(whole.info.width_mm, 105.833);
}

TEST_F(Render, PageInfoCountsTheWholeFile) {
    auto path = write(fx::many_pages(3, small_page()));
    auto first = render_pdf(path, 1, 300);
    EXPECT_EQ(first.info.pages, 3);
    EXPECT_EQ(first.info.page, 1);
    EXPECT_EQ(render_pdf(path, 3, 300).info.page, 3);
    EXPECT_EQ(first.info.to_json().dump(), R"({"pages":3,"page":1,"width_mm":25.4,"height_mm":25.4})");
    EXPECT_NO_THROW(render_pdf(write(fx::many_pages(50, small_page()), "fifty.pdf"), 50, 144));
}

TEST_F(Render, TextAndThinLinesHaveNoGreyEdges) {
    fx::Page page;
    page.media = {0, 0, 200, 120};
    page.content = fx::text(10, 80, 9, "Hairline proof 0.1 mm") + fx::text(10, 40, 23, "Wgqy@&%") +
                   fx::stroke_line(5, 5, 195, 30, 0.1) + fx::stroke_line(5, 110, 190, 60, 0.35) +
                   fx::stroke_line(100, 5, 101, 115, 0);
    for (double dpi : {144.0, 200.0, 300.0}) {
        auto result = render_pdf(write(fx::many_pages(1, page)), 1, dpi);
        EXPECT_EQ(colours(result.pixels), (std::set<std::tuple<int, int, int>>{{0, 0, 0}, {255, 255, 255}})) << dpi;
    }
}

TEST_F(Render, ImagesKeepTheirPixelsAtAnyScale) {
    struct Case {
        int width, height;
        double placed_width, placed_height;
        bool interpolate;
    } cases[] = {
        {10, 10, 37, 23, false},    // enlarged by an odd factor
        {10, 10, 37, 23, true},     // the file asks for smoothing
        {200, 200, 20, 20, false},  // reduced, where a decoder would subsample
        {301, 157, 71.3, 40.1, true},
        {64, 64, 64 * 72 / 300.0, 64 * 72 / 300.0, false},  // one image pixel per device pixel
    };
    for (const Case& c : cases) {
        fx::Page page;
        page.media = {0, 0, 100, 100};
        fx::Image image = fx::checkerboard(c.width, c.height);
        image.interpolate = c.interpolate;
        page.images.push_back(image);
        page.content = fx::draw_image(0, c.placed_width, 0, 0, c.placed_height, 10.3, 10.7);
        auto result = render_pdf(write(fx::many_pages(1, page)), 1, 300);
        EXPECT_EQ(colours(result.pixels), (std::set<std::tuple<int, int, int>>{{0, 0, 0}, {255, 255, 255}}))
            << c.width << "x" << c.height << " at " << c.placed_width;
    }
}

TEST_F(Render, AnImageDeclaredFarLargerThanItsDataIsRefusedWithoutTakingTheMemory) {
    // A few bytes of image data declared as 19000 x 19000 pixels: 1.08 GB decoded whole.
    fx::Page page;
    page.media = {0, 0, 100, 100};
    page.images.push_back(fx::checkerboard(8, 8));
    page.content = fx::draw_image(0, 80, 0, 0, 80, 10, 10);
    const auto path = write(fx::many_pages(1, page));
    const auto huge = folder.path() / "huge.pdf";
    {
        QPDF pdf;
        pdf.processFile(path.c_str());
        QPDFObjectHandle image = QPDFPageDocumentHelper(pdf)
                                     .getAllPages()
                                     .front()
                                     .getObjectHandle()
                                     .getKey("/Resources")
                                     .getKey("/XObject")
                                     .getKey("/Im0");
        image.getDict().replaceKey("/Width", QPDFObjectHandle::newInteger(19000));
        image.getDict().replaceKey("/Height", QPDFObjectHandle::newInteger(19000));
        QPDFWriter writer(pdf, huge.c_str());
        writer.write();
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    try {
        render_pdf(huge, 1, 144);
        ADD_FAILURE() << "rendered";
    } catch (const tesmira::UserError& error) {
        EXPECT_EQ(std::string(error.what()), "1ページ: 大きすぎる画像があるため比較できません（展開後1GBまで）。");
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes";
}

TEST_F(Render, TransparentAreasAreWhite) {
    fx::Page page;
    page.media = {0, 0, 50, 50};
    fx::Image image = fx::solid_image(4, 4, {0, 0, 0});
    image.alpha.assign(16, 0);
    page.images.push_back(image);
    page.content = fx::draw_image(0, 50, 0, 0, 50, 0, 0);
    auto result = render_pdf(write(fx::many_pages(1, page)), 1, 144);
    EXPECT_EQ(colours(result.pixels), (std::set<std::tuple<int, int, int>>{{255, 255, 255}}));
}
