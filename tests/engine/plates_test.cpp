// Drawing pages on their plates, and comparing plates: which pages have plates, which inks,
// how they show and how two pages' plates differ.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <functional>
#include <string>
#include <vector>

#include "engine/cmyk_to_rgb.hpp"
#include "engine/compare.hpp"
#include "engine/ink_note.hpp"
#include "engine/ink_plates.hpp"
#include "engine/ink_survey.hpp"
#include "engine/render.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
using namespace tesmira::engine;

namespace {

std::string separation(const std::string& name, const std::string& cmyk) {
    return "[/Separation /" + name + " /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [" + cmyk +
           "] /N 1 >>]";
}

std::vector<std::string> names_of(const std::vector<SpotInk>& spots) {
    std::vector<std::string> names;
    for (const SpotInk& spot : spots) names.push_back(spot.name);
    return names;
}

class Plates : public ::testing::Test {
protected:
    fx::TempFolder folder;
    // A 100 pt page with `content`, the spot inks /A ("Ink A") and /B ("Ink B"), All, None,
    // a Lab space, overprint and a soft mask whose definition paints in CMYK.
    std::filesystem::path write(const std::string& content, const std::string& extra_resources_page = "") {
        fx::Page page;
        page.media = {0, 0, 100, 100};
        page.forms.push_back({{0, 0, 100, 100}, "0 0 0 1 k 0 0 50 100 re f"});
        page.content = content;
        const auto path = folder.path() / "page.pdf";
        fx::write_pdf(fx::many_pages(1, page), path);
        fx::ResourceEditor e(path);
        e.add("/ColorSpace", "/A", separation("Ink#20A", "0 1 0 0"));
        e.add("/ColorSpace", "/B", separation("Ink#20B", "0 0 1 0"));
        e.add("/ColorSpace",
              "/AB",
              "[/DeviceN [/Ink#20B /Magenta /Ink#20A] /DeviceCMYK " +
                  std::string("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1 >>]"));
        e.add("/ColorSpace", "/All", separation("All", "0 0 0 1"));
        e.add("/ColorSpace", "/None", separation("None", "0 0 0 1"));
        e.add("/ColorSpace", "/Lab", "[/Lab << /WhitePoint [0.9505 1 1.089] /Range [-100 100 -100 100] >>]");
        auto mask = QPDFObjectHandle::parse("<< /SMask << /Type /Mask /S /Luminosity >> >>");
        mask.getKey("/SMask").replaceKey("/G", e.get("/XObject", "/Fm0"));
        e.get("/XObject", "/Fm0")
            .getDict()
            .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceCMYK >>"));
        e.add("/ExtGState", "/Masked", mask);
        e.add("/ExtGState", "/Overprint", "<< /OP true /op true >>");
        if (!extra_resources_page.empty()) e.add("/ColorSpace", "/Many", extra_resources_page);
        e.save();
        return path;
    }
};

// The plate values at the middle of a 100 pt page at 144 dpi.
std::vector<int> centre(const InkPlates& plates) {
    std::vector<int> values;
    const uchar* p = plates.samples.ptr(100) + 100 * plates.samples.channels();
    for (int i = 0; i < plates.samples.channels(); ++i) values.push_back(p[i]);
    return values;
}

}  // namespace

TEST_F(Plates, OnlyPagesThatPrintDifferentlyFromHowTheyLookHaveThem) {
    struct Case {
        const char* name;
        std::string content;
        bool plates;
        std::vector<std::string> spots;
    } cases[] = {
        {"RGB, grey and Lab",
         "1 0 0 rg 0 0 50 50 re f 0.5 g 50 0 50 50 re f /Lab cs 50 20 10 sc 0 50 50 50 re f",
         false,
         {}},
        {"grey overprinting", "q /Overprint gs 0.3 g 0 0 100 100 re f Q", false, {}},
        {"CMYK only inside a soft mask's definition", "q /Masked gs 1 0 0 rg 0 0 100 100 re f Q", false, {}},
        {"a CMYK fill", "0 0 0 1 k 0 0 10 10 re f", true, {}},
        {"spot inks, each once, as first painted, never process, All or None",
         "/B cs 1 scn 0 0 10 10 re f /AB cs 1 1 1 scn 0 0 10 10 re f /All cs 1 scn 0 0 5 5 re f "
         "/None cs 1 scn 0 0 5 5 re f /A cs 1 scn 0 0 5 5 re f",
         true,
         {"Ink B", "Ink A"}},
    };
    for (const Case& c : cases) {
        const RenderedPage page = render_pdf(write(c.content), 1, 144);
        ASSERT_EQ(page.plates.has_value(), c.plates) << c.name;
        if (!page.plates) continue;
        EXPECT_EQ(names_of(page.plates->spots), c.spots) << c.name;
        EXPECT_EQ(page.plates->samples.channels(), 4 + int(c.spots.size())) << c.name;
        EXPECT_EQ(page.plates->samples.size(), page.pixels.size()) << c.name;
    }
}

TEST_F(Plates, InksGoOnTheirOwnPlates) {
    // C, M, Y, K, Ink A, Ink B at the centre, 0 to 255.
    struct Case {
        const char* name;
        std::string content;
        std::vector<int> expected;
    } cases[] = {
        {"process", "0.2 0.4 0.6 0.8 k 0 0 100 100 re f", {51, 102, 153, 204}},
        {"a spot ink alone", "/B cs 0 scn 0 0 1 1 re f /A cs 1 scn 0 0 100 100 re f", {0, 0, 0, 0, 255, 0}},
        {"All on every plate",
         "/B cs 0 scn 0 0 1 1 re f /A cs 0 scn 0 0 1 1 re f /All cs 1 scn 0 0 100 100 re f",
         {255, 255, 255, 255, 255, 255}},
        {"None on none",
         "/B cs 1 scn 0 0 1 1 re f /A cs 1 scn 0 0 100 100 re f /None cs 1 scn 0 0 100 100 re f",
         {0, 0, 0, 0, 255, 0}},
        {"a spot overprinting process",
         "/A cs 0 scn 0 0 1 1 re f 0 0 0.5 0 k 0 0 100 100 re f q /Overprint gs /B cs 1 scn 0 0 100 100 re f Q",
         {0, 0, 127, 0, 0, 255}},  // MuPDF truncates 0.5 × 255
    };
    for (const Case& c : cases) {
        const RenderedPage page = render_pdf(write(c.content), 1, 144);
        ASSERT_TRUE(page.plates) << c.name;
        std::vector<int> values = centre(*page.plates);
        // The case's spots in the order A, B, whichever the page painted first.
        if (page.plates->spots.size() == 2 && page.plates->spots[0].name == "Ink B") std::swap(values[4], values[5]);
        EXPECT_EQ(values, c.expected) << c.name;
    }
}

TEST_F(Plates, NoneNeverMarksThePage) {
    const RenderedPage page = render_pdf(write("/None cs 1 scn 0 0 100 100 re f"), 1, 144);
    EXPECT_EQ(cv::countNonZero(page.pixels.reshape(1) != 255), 0) << "on screen";
    ASSERT_TRUE(page.plates);
    EXPECT_EQ(cv::countNonZero(page.plates->samples.reshape(1)), 0) << "on the plates";
}

TEST_F(Plates, InksBeyondWhatAPixmapHoldsGoThroughTheirAlternates) {
    std::string names, content;
    for (int i = 0; i < MAX_SPOT_PLATES + 3; ++i) names += " /Ink" + std::to_string(i);
    const std::string many =
        "[/DeviceN [" + names + "] /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1 >>]";
    std::string ones;
    for (int i = 0; i < MAX_SPOT_PLATES + 3; ++i) ones += " 1";
    const RenderedPage page = render_pdf(write("/Many cs" + ones + " scn 0 0 100 100 re f", many), 1, 144);
    ASSERT_TRUE(page.plates);
    EXPECT_EQ(page.plates->spots.size(), std::size_t(MAX_SPOT_PLATES));
    EXPECT_EQ(page.plates->samples.channels(), 4 + MAX_SPOT_PLATES);
}

TEST(ShownColours, SpotInksShowThroughTheirAlternatesOverTheProcessInks) {
    InkPlates plates;
    SpotInk orange{"Orange", {}};
    for (int v = 0; v < 256; ++v) orange.looks[std::size_t(v)] = {0, std::uint8_t(v / 2), std::uint8_t(v), 0};
    plates.spots.push_back(orange);
    plates.samples = cv::Mat::zeros(1, 4, CV_8UC(5));
    uchar* p = plates.samples.ptr(0);
    const uchar pixels[4][5] = {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 255}, {255, 0, 0, 0, 255}, {0, 128, 0, 0, 255}};
    for (int i = 0; i < 4; ++i) std::copy(pixels[i], pixels[i] + 5, p + 5 * i);
    const cv::Mat shown = shown_colours(plates);
    auto rgb = [&](int i) { return shown.at<cv::Vec3b>(0, i); };
    auto expected = [](Cmyk ink) {
        const Rgb8 v = cmyk_to_rgb(ink);
        return cv::Vec3b(v[0], v[1], v[2]);
    };
    EXPECT_EQ(rgb(0), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(rgb(1), expected({0, 127 / 255.0f, 1, 0}));
    EXPECT_EQ(rgb(2), expected({1, 127 / 255.0f, 1, 0}));
    // Magenta 128 under the spot's 127: 1 − (1 − 128/255)(1 − 127/255) leaves 191.
    EXPECT_EQ(rgb(3), expected({0, 191 / 255.0f, 1, 0}));
}

TEST(ComparePlates, InksAreMatchedByName) {
    // A spot's look: its alternate at each tint, the tint times `magenta` in M.
    auto looks_of = [](int magenta) {
        decltype(SpotInk::looks) looks{};
        for (int v = 0; v < 256; ++v) looks[std::size_t(v)] = {0, std::uint8_t(v * magenta / 255), 0, 0};
        return looks;
    };
    auto plates = [&](std::vector<std::string> spots, std::vector<uchar> pixel, int magenta = 255) {
        InkPlates p;
        for (const std::string& name : spots) p.spots.push_back({name, looks_of(magenta)});
        p.samples = cv::Mat(20, 20, CV_8UC(int(pixel.size())));
        for (int r = 0; r < 20; ++r)
            for (int c = 0; c < 20; ++c) std::copy(pixel.begin(), pixel.end(), p.samples.ptr(r) + c * pixel.size());
        return p;
    };
    struct Case {
        const char* name;
        InkPlates before, after;
        int difference;
        std::vector<std::string> differing, restyled;
    } cases[] = {
        {"the same spots in another order",
         plates({"X", "Y"}, {0, 0, 0, 0, 10, 200}),
         plates({"Y", "X"}, {0, 0, 0, 0, 200, 10}),
         0,
         {},
         {}},
        {"a spot on one side only", plates({"X"}, {0, 0, 0, 0, 90}), plates({}, {0, 0, 0, 0}), 90, {"X"}, {}},
        {"a renamed spot", plates({"X"}, {0, 0, 0, 0, 255}), plates({"Z"}, {0, 0, 0, 0, 255}), 255, {"X", "Z"}, {}},
        {"one step is within the tolerance", plates({}, {10, 0, 0, 0}), plates({}, {11, 0, 0, 0}), 1, {}, {}},
        {"two steps are not", plates({}, {10, 0, 0, 200}), plates({}, {10, 0, 0, 202}), 2, {"Black"}, {}},
        {"a spot whose alternate alone differs",
         plates({"X", "Y"}, {0, 0, 0, 0, 128, 0}),
         plates({"X", "Y"}, {0, 0, 0, 0, 128, 0}, 128),
         0,
         {},
         {"X"}},
        {"a spot whose alternate differs where it covers nothing",
         plates({"X"}, {0, 0, 0, 0, 0}),
         plates({"X"}, {0, 0, 0, 0, 0}, 128),
         0,
         {},
         {}},
    };
    for (const Case& c : cases) {
        const PlateComparison compared = compare_plates(c.before, c.after, 1);
        EXPECT_EQ(cv::countNonZero(compared.ink_difference != c.difference), 0) << c.name;
        EXPECT_EQ(compared.inks_differing_within({3, 3, 5, 5}), c.differing) << c.name;
        EXPECT_EQ(compared.inks_restyled_within({3, 3, 5, 5}), c.restyled) << c.name;
    }
}

TEST(Notes, StayInTheirMarginsBesideThePage) {
    struct Case {
        const char* name;
        std::function<void(cv::Mat&, int count)> draw;
        bool above;
    } cases[] = {
        {"ink only, under the page",
         [](cv::Mat& result, int count) {
             note_ink_only_changes(result, count, {"Cyan", "Black", "PANTONE 185 C", "Gold"}, 300);
         },
         false},
        {"look only, above the page",
         [](cv::Mat& result, int count) {
             note_look_only_changes(result, count, {"Gold", "PANTONE 871 C"}, 300);
         },
         true},
    };
    for (const Case& c : cases) {
        for (int width : {2000, 300}) {
            cv::Mat result(400, width, CV_8UC3, cv::Scalar(255, 255, 255));
            c.draw(result, 2);
            cv::Mat inked;
            cv::cvtColor(result, inked, cv::COLOR_RGB2GRAY);
            const cv::Rect box = cv::boundingRect(inked != 255);
            ASSERT_FALSE(box.empty()) << c.name << ", " << width;
            if (c.above)
                EXPECT_LE(box.y + box.height, CANVAS_MARGIN) << c.name << ", " << width;
            else
                EXPECT_GE(box.y, result.rows - CANVAS_MARGIN) << c.name << ", " << width;
            if (width == 2000) {
                EXPECT_LE(box.x + box.width, width - 8) << c.name << ": the whole note fits";
            }
        }
        cv::Mat untouched(400, 600, CV_8UC3, cv::Scalar(255, 255, 255));
        c.draw(untouched, 0);
        EXPECT_EQ(cv::countNonZero(untouched.reshape(1) != 255), 0) << c.name;
    }
}
