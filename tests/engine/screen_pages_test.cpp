// Pages that print as they look (grey, RGB and Lab colours, overprint without CMYK) are drawn
// and compared on screen alone: their result images stay byte for byte what they have always
// been. The hashes were taken from the engine as it was before pages were also compared as they
// print; a change here changes what operators see on every such page.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/page_job.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
using tesmira::Json;

namespace {

std::uint64_t fnv1a(const cv::Mat& image) {
    std::uint64_t hash = 14695981039346656037ull;
    for (int r = 0; r < image.rows; ++r) {
        const uchar* p = image.ptr(r);
        for (std::size_t i = 0; i < image.cols * image.elemSize(); ++i) hash = (hash ^ p[i]) * 1099511628211ull;
    }
    return hash;
}

// Text, rules, an RGB and a grey image, an RGB shading, a Multiply group and overprint settings
// that change nothing on screen; `changed` moves a rule, retouches the image and edits a word.
void write_screen_page(const std::filesystem::path& path, bool changed) {
    fx::Page page;
    page.media = {0, 0, 240, 200};
    fx::Image ramp;
    ramp.width = ramp.height = 40;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            for (int c = 0; c < 3; ++c)
                ramp.samples.push_back(
                    static_cast<unsigned char>(40 + 4 * x + 30 * c + y + (changed && x > 20 && y < 10 ? 9 : 0)));
    page.images.push_back(ramp);
    page.images.push_back(fx::solid_image(3, 2, {90}));
    page.forms.push_back({{0, 0, 60, 60}, "/Mul gs 0.9 0.2 0.1 rg 0 0 60 60 re f 0.2 0.6 0.9 rg 20 20 40 40 re f\n"});
    page.content = fx::fill_rect({0, 170, 240, 200}, 0.1, 0.2, 0.45) + fx::text(10, 180, 14, "Screen only", 1) +
                   fx::text(10, 150, 9, changed ? "Price 1290 yen" : "Price 1280 yen") +
                   fx::stroke_line(10, changed ? 132 : 130, 230, changed ? 132 : 130, 0.5) +
                   "q /Overprint gs 0.5 g 10 100 60 20 re f Q\n" + fx::draw_image(0, 60, 0, 0, 60, 120, 90) +
                   fx::draw_image(1, 30, 0, 0, 20, 190, 100) + "q 10 20 100 60 re W n /Ramp sh Q\n" +
                   "q 1 0 0 1 150 20 cm /Fm0 Do Q\n";
    fx::write_pdf(fx::many_pages(1, page), path);
    fx::ResourceEditor editor(path);
    editor.add("/ExtGState", "/Overprint", "<< /OP true /op true /OPM 1 >>");
    editor.add("/ExtGState", "/Mul", "<< /BM /Multiply /ca 0.8 >>");
    editor.add("/Shading",
               "/Ramp",
               "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [10 0 110 0] /Function << /FunctionType 2 "
               "/Domain [0 1] /C0 [1 0.2 0] /C1 [0 0.4 1] /N 1 >> >>");
    editor.get("/XObject", "/Fm0")
        .getDict()
        .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceRGB /I true >>"));
    editor.save();
}

}  // namespace

TEST(ScreenPages, ResultImagesStayByteForByteAsTheyWere) {
    fx::TempFolder folder;
    write_screen_page(folder.path() / "before.pdf", false);
    write_screen_page(folder.path() / "after.pdf", true);
    struct Case {
        int dpi;
        bool noise;
        std::uint64_t hash;
        int regions;
    } cases[] = {
        {144, false, 5128625084914947371ull, 8},
        {300, false, 16056273611381739492ull, 15},
        {300, true, 16056273611381739492ull, 15},
    };
    for (const Case& c : cases) {
        const Json settings{{"page", 1},
                            {"dpi", c.dpi},
                            {"tolerance", 1},
                            {"opacity", 10},
                            {"border", 2},
                            {"tiny_markers", true},
                            {"grain", c.noise},
                            {"stamp", true},
                            {"diagnostic_images", false}};
        const tesmira::engine::ComparedPage page =
            tesmira::engine::compare_page(folder.path(), tesmira::engine::read_page_settings(settings));
        EXPECT_EQ(fnv1a(page.published), c.hash) << c.dpi << " dpi, noise pass " << c.noise;
        EXPECT_EQ(page.stats.regions, c.regions) << c.dpi << " dpi, noise pass " << c.noise;
    }
}
