// A page proven to draw alike in both files is what comparing the two equal pages gives: the
// same record and the same images, for pages on screen and pages that print differently, with
// the noise pass and the tiny markers, and the same failure when the page cannot be drawn.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/page_job.hpp"
#include "fixtures/hostile_pdfs.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/refusal.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::engine;

namespace {

// Text, rules, a coloured box and a photo-like image, on screen.
void write_screen_page(const fs::path& path) {
    fx::Page page;
    page.media = {0, 0, 220, 160};
    fx::Image photo{40, 30, 3, {}};
    for (int i = 0; i < 40 * 30 * 3; ++i) photo.samples.push_back(static_cast<unsigned char>(i * 7 % 251));
    page.images.push_back(photo);
    page.content = fx::text(10, 130, 12, "Price 1280 yen") + fx::stroke_line(10, 120, 200, 120, 0.5) +
                   fx::fill_rect({120, 20, 200, 90}, 0.9, 0.1, 0.1) + fx::draw_image(0, 80, 0, 0, 60, 20, 30);
    fx::write_pdf(fx::many_pages(1, page), path);
}

// Rich black, yellow text overprinting cyan, a spot ink and a CMYK image: a page that prints
// differently from how it looks (green text, not yellow), drawn on its plates too.
void write_press_page(const fs::path& path) {
    fx::Page page;
    page.media = {0, 0, 220, 160};
    page.images.push_back(fx::solid_image(4, 4, {20, 180, 0, 40}));
    page.content = fx::fill_rect_cmyk({0, 120, 220, 160}, 0.6, 0.4, 0.4, 1) +
                   fx::fill_rect_cmyk({0, 80, 110, 110}, 1, 0, 0, 0) +
                   "q /Overprint gs 0 0 1 0 k BT /F1 16 Tf 10 88 Td (Overprinted) Tj ET Q\n" +
                   "/Spot cs 1 scn 120 20 80 50 re f\n" + fx::draw_image(0, 60, 0, 0, 40, 20, 20);
    fx::write_pdf(fx::many_pages(1, page), path);
    fx::ResourceEditor editor(path);
    editor.add("/ExtGState", "/Overprint", "<< /OP true /op true /OPM 1 >>");
    editor.add("/ColorSpace",
               "/Spot",
               "[/Separation /Spot#20One /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0.6 1 0] "
               "/N 1 >>]");
    editor.save();
}

Json settings_with(const Json& extra) {
    Json settings{{"page", 1},
                  {"dpi", 144},
                  {"tolerance", 1},
                  {"opacity", 10},
                  {"border", 2},
                  {"stamp", true},
                  {"tiny_markers", false},
                  {"grain", false},
                  {"before_name", "old.pdf"},
                  {"after_name", "new.pdf"},
                  {"diagnostic_images", false}};
    settings.update(extra);
    return settings;
}

// The record without the times it took.
Json untimed(Json record) {
    for (const char* key : {"render_seconds", "compare_seconds", "total_seconds"}) record.erase(key);
    return record;
}

TEST(IdenticalPages, GiveWhatComparingTheEqualPagesGives) {
    fx::TempFolder folder;
    const fs::path before = folder.path() / "before.pdf", after = folder.path() / "after.pdf";
    for (const auto& [kind, write] :
         {std::pair{"screen page", &write_screen_page}, {"press page", &write_press_page}}) {
        write(before);
        fs::copy_file(before, after, fs::copy_options::overwrite_existing);
        for (const Json& extra : {Json::object(),
                                  Json{{"grain", true}},
                                  Json{{"tiny_markers", true}},
                                  Json{{"grain", true}, {"tiny_markers", true}, {"opacity", 35}, {"dpi", 200}}}) {
            SCOPED_TRACE(std::string(kind) + " " + extra.dump());
            const PageSettings settings = read_page_settings(settings_with(extra));
            ComparedPage compared = compare_page(before, after, settings);
            ComparedPage proven = compare_identical_page(before, after, settings);
            proven.checked_at = compared.checked_at;  // the band shows the time of the check
            const FinishedPage expected = finish_page(std::move(compared));
            const FinishedPage actual = finish_page(std::move(proven));
            EXPECT_EQ(untimed(actual.record).dump(), untimed(expected.record).dump());
            EXPECT_TRUE(actual.result_png == expected.result_png) << "the result image";
            ASSERT_EQ(actual.strict_png.has_value(), expected.strict_png.has_value());
            if (expected.strict_png) {
                EXPECT_TRUE(*actual.strict_png == *expected.strict_png) << "the strict image";
            }
        }
    }
}

TEST(IdenticalPages, FailAsComparingThemFails) {
    fx::TempFolder folder;
    const fs::path before = folder.path() / "before.pdf", after = folder.path() / "after.pdf";
    fx::write_jpeg2000_bomb_pdf(before);
    fs::copy_file(before, after);
    const PageSettings settings = read_page_settings(settings_with(Json::object()));
    const std::string refused = fx::refusal([&] { compare_page(before, after, settings); });
    EXPECT_NE(refused, fx::NO_REFUSAL);
    EXPECT_EQ(fx::refusal([&] { compare_identical_page(before, after, settings); }), refused);
}

}  // namespace
