#include <gtest/gtest.h>

#include <qpdf/QPDFObjectHandle.hh>

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/cmyk_to_rgb.hpp"
#include "engine/plain_drawing.hpp"
#include "engine/render.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
using tesmira::engine::Cmyk;
using tesmira::engine::CMYK_CORNERS;
using tesmira::engine::cmyk_pixels_to_rgb;
using tesmira::engine::cmyk_to_rgb;
using tesmira::engine::render_pdf;
using tesmira::engine::Rgb8;

namespace {

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

std::string cmyk_fill(const Cmyk& ink) {
    return num(ink.c) + " " + num(ink.m) + " " + num(ink.y) + " " + num(ink.k) + " k ";
}

std::string rect(double x, double y, double w, double h) {
    return num(x) + " " + num(y) + " " + num(w) + " " + num(h) + " re ";
}

int largest_difference(const cv::Vec3b& a, const cv::Vec3b& b) {
    int most = 0;
    for (int i = 0; i < 3; ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

cv::Vec3b vec(const Rgb8& v) { return {v[0], v[1], v[2]}; }

// The device pixel under a point given in PDF units on a page `height` points high.
cv::Vec3b pixel_at(const cv::Mat& pixels, double x, double y, double height, double dpi) {
    return pixels.at<cv::Vec3b>(int((height - y) * dpi / 72), int(x * dpi / 72));
}

std::set<std::tuple<int, int, int>> colours(const cv::Mat& rgb) {
    std::set<std::tuple<int, int, int>> found;
    for (int r = 0; r < rgb.rows; ++r)
        for (int c = 0; c < rgb.cols; ++c) {
            const cv::Vec3b p = rgb.at<cv::Vec3b>(r, c);
            found.insert({p[0], p[1], p[2]});
        }
    return found;
}

const cv::Vec3b WHITE(255, 255, 255);

// How `ink` looks at `alpha`: on the press, transparency thins the ink.
cv::Vec3b thinned(const Cmyk& ink, float alpha) {
    return vec(cmyk_to_rgb({ink.c * alpha, ink.m * alpha, ink.y * alpha, ink.k * alpha}));
}

// How two inks look that each show as `ink`, printed over one another.
cv::Vec3b twice(const Cmyk& ink) {
    auto over = [](float v) { return 1 - (1 - v) * (1 - v); };
    return vec(cmyk_to_rgb({over(ink.c), over(ink.m), over(ink.y), over(ink.k)}));
}

// A dark spot colour whose CMYK alternate is the tint times (30, 100, 70, 50) %.
const char* const SPOT =
    "[/Separation /Dark#20Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
    "/C1 [0.3 1 0.7 0.5] /N 1 >>]";

class CmykRender : public ::testing::Test {
protected:
    fx::TempFolder folder;
    std::filesystem::path write(const fx::Page& page, const char* name = "page.pdf") {
        auto path = folder.path() / name;
        fx::write_pdf(fx::many_pages(1, page), path);
        return path;
    }
};

}  // namespace

TEST(CmykConversion, CornersAndMidpointsFollowTheTable) {
    auto ink_of = [](unsigned index, float on) {
        return Cmyk{index & 8 ? on : 0, index & 4 ? on : 0, index & 2 ? on : 0, index & 1 ? on : 0};
    };
    for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(cmyk_to_rgb(ink_of(i, 1)), CMYK_CORNERS[i]) << "corner " << i;

    // Halfway along an edge lies the mean of its two corners.
    for (unsigned low = 0; low < 16; ++low)
        for (unsigned bit : {8u, 4u, 2u, 1u}) {
            if (low & bit) continue;
            Cmyk ink = ink_of(low, 1);
            float* channel = bit == 8 ? &ink.c : bit == 4 ? &ink.m : bit == 2 ? &ink.y : &ink.k;
            *channel = 0.5f;
            Rgb8 expected;
            for (std::size_t ch = 0; ch < 3; ++ch)
                expected[ch] = std::uint8_t((CMYK_CORNERS[low][ch] + CMYK_CORNERS[low | bit][ch] + 1) / 2);
            EXPECT_EQ(cmyk_to_rgb(ink), expected) << "corners " << low << " and " << (low | bit);
        }

    Rgb8 centre;
    for (std::size_t ch = 0; ch < 3; ++ch) {
        int sum = 0;
        for (const Rgb8& corner : CMYK_CORNERS) sum += corner[ch];
        centre[ch] = std::uint8_t((sum + 8) / 16);
    }
    EXPECT_EQ(cmyk_to_rgb({0.5f, 0.5f, 0.5f, 0.5f}), centre);
}

TEST(CmykConversion, MoreOfAnyInkIsNeverLighter) {
    for (int c = 0; c <= 10; ++c)
        for (int m = 0; m <= 10; ++m)
            for (int y = 0; y <= 10; ++y)
                for (int k = 0; k <= 10; ++k) {
                    const std::array<int, 4> base{c, m, y, k};
                    const Rgb8 before = cmyk_to_rgb({c / 10.0f, m / 10.0f, y / 10.0f, k / 10.0f});
                    for (std::size_t ink = 0; ink < 4; ++ink) {
                        if (base[ink] == 10) continue;
                        std::array<int, 4> more = base;
                        ++more[ink];
                        const Rgb8 after =
                            cmyk_to_rgb({more[0] / 10.0f, more[1] / 10.0f, more[2] / 10.0f, more[3] / 10.0f});
                        for (std::size_t ch = 0; ch < 3; ++ch)
                            ASSERT_LE(after[ch], before[ch]) << c << " " << m << " " << y << " " << k << " ink " << ink;
                    }
                }
}

TEST(CmykConversion, PixelsConvertEachAsItsColourDoes) {
    // Runs of one colour are converted once: short and long runs, at the start and the end.
    const std::array<std::uint8_t, 4> paper{0, 0, 0, 0}, rich{153, 102, 102, 255}, cyan{255, 0, 0, 0};
    struct Case {
        const char* name;
        std::vector<std::array<std::uint8_t, 4>> pixels;
    } cases[] = {
        {"one pixel", {rich}},
        {"every pixel another", {paper, rich, cyan, rich, paper}},
        {"a long run between short ones", {}},
        {"an odd run at the end", {}},
    };
    cases[2].pixels.assign(37, paper);
    cases[2].pixels.front() = cases[2].pixels.back() = rich;
    cases[3].pixels = {cyan, cyan, rich, rich, rich};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> cmyk, rgb(3 * c.pixels.size());
        for (const auto& pixel : c.pixels) cmyk.insert(cmyk.end(), pixel.begin(), pixel.end());
        cmyk_pixels_to_rgb(cmyk.data(), rgb.data(), c.pixels.size());
        for (std::size_t i = 0; i < c.pixels.size(); ++i) {
            const auto& p = c.pixels[i];
            const Rgb8 expected = cmyk_to_rgb({p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, p[3] / 255.0f});
            EXPECT_EQ(Rgb8({rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]}), expected) << c.name << ", pixel " << i;
        }
    }
}

TEST_F(CmykRender, InkChangesInDarkAreasStayVisible) {
    struct Pair {
        std::string row;
        std::string first, second;  // colour operators
    };
    std::vector<Pair> pairs;
    auto cmyk_pair = [&](const std::string& row, Cmyk a, Cmyk b) {
        pairs.push_back({row, cmyk_fill(a), cmyk_fill(b)});
    };
    const int steps[] = {0, 20, 40, 60, 80, 100};
    for (int c : steps)
        for (int m : steps)
            for (int y : steps) {
                for (int k : {0, 20, 40, 60, 80, 95})
                    if (c + m + y + k + 5 <= 320)
                        cmyk_pair("K +5 up to 320 %",
                                  {c / 100.f, m / 100.f, y / 100.f, k / 100.f},
                                  {c / 100.f, m / 100.f, y / 100.f, (k + 5) / 100.f});
                for (int k : {0, 35, 70})
                    for (int ink = 0; ink < 3; ++ink) {
                        std::array<int, 3> low{c, m, y};
                        low[std::size_t(ink)] = std::min(low[std::size_t(ink)], 90);
                        std::array<int, 3> high = low;
                        high[std::size_t(ink)] += 10;
                        if (high[0] + high[1] + high[2] + k > 250) continue;
                        cmyk_pair("C, M or Y +10, K up to 70 %, up to 250 %",
                                  {low[0] / 100.f, low[1] / 100.f, low[2] / 100.f, k / 100.f},
                                  {high[0] / 100.f, high[1] / 100.f, high[2] / 100.f, k / 100.f});
                    }
            }
    for (int c : {0, 30, 60, 90})
        for (int m : {30, 45, 60})
            for (int y : {30, 45, 60})
                cmyk_pair("rich black: C +10 under K 100 %",
                          {c / 100.f, m / 100.f, y / 100.f, 1},
                          {(c + 10) / 100.f, m / 100.f, y / 100.f, 1});
    cmyk_pair("measured: K 80 / 90 with CMY 20", {0.2f, 0.2f, 0.2f, 0.9f}, {0.2f, 0.2f, 0.2f, 0.8f});
    cmyk_pair("measured: rich blacks 50/50/50 and 60/40/40", {0.5f, 0.5f, 0.5f, 1}, {0.6f, 0.4f, 0.4f, 1});
    for (int tint = 0; tint <= 90; tint += 10)
        pairs.push_back({"spot tint +10",
                         "/Spot cs " + num(tint / 100.0) + " scn ",
                         "/Spot cs " + num((tint + 10) / 100.0) + " scn "});

    // Two 6 pt patches per pair, 50 pairs to a row.
    const double size = 6, width = 600;
    const int per_row = int(width / (2 * size));
    const double height = size * double((pairs.size() + per_row - 1) / per_row);
    fx::Page page;
    page.media = {0, 0, width, height};
    page.with_font = false;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const double x = 2 * size * double(i % per_row), y = size * double(i / per_row);
        page.content += pairs[i].first + rect(x, y, size, size) + "f\n";
        page.content += pairs[i].second + rect(x + size, y, size, size) + "f\n";
    }
    const auto path = write(page);
    fx::ResourceEditor resources(path);
    resources.add("/ColorSpace", "/Spot", SPOT);
    resources.save();

    for (double dpi : {144.0, 300.0}) {
        const cv::Mat pixels = render_pdf(path, 1, dpi).pixels;
        std::map<std::string, int> least;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const double x = 2 * size * double(i % per_row) + size / 2, y = size * double(i / per_row) + size / 2;
            const int difference =
                largest_difference(pixel_at(pixels, x, y, height, dpi), pixel_at(pixels, x + size, y, height, dpi));
            auto [slot, fresh] = least.try_emplace(pairs[i].row, difference);
            if (!fresh) slot->second = std::min(slot->second, difference);
        }
        for (const auto& [row, difference] : least) {
            EXPECT_GE(difference, 2) << row << " at " << dpi << " dpi";
            RecordProperty(row + " @" + std::to_string(int(dpi)), difference);
        }
    }
}

TEST_F(CmykRender, EveryWayAColourReachesThePageGivesTheSameRgb) {
    // A rich black that MuPDF alone draws as 0,0,0, and a colour whose channels all differ.
    // Both are whole bytes, so images hold them exactly.
    for (const Cmyk ink : {Cmyk{0.6f, 0.4f, 0.4f, 1.0f}, Cmyk{0.2f, 0.8f, 0.4f, 0.2f}}) {
        const Rgb8 rgb = cmyk_to_rgb(ink);
        const std::string values = num(ink.c) + " " + num(ink.m) + " " + num(ink.y) + " " + num(ink.k);
        const std::string colour = values + " k ";
        std::string bytes;
        for (float v : {ink.c, ink.m, ink.y, ink.k}) bytes += char(std::lround(v * 255));
        std::string inverted;
        for (char b : bytes) inverted += char(255 - static_cast<unsigned char>(b));
        auto repeat = [](const std::string& pixel, int times) {
            std::string out;
            for (int i = 0; i < times; ++i) out += pixel;
            return out;
        };

        struct Way {
            std::string name;
            std::function<std::string(double x, double y)> content;
            cv::Vec3b expected;
            int tolerance = 1;
        };
        // On the plates every way gives the same ink, so the same look; except where the press
        // prints differently: a DeviceN colour shows through its inks' alternates laid over one
        // another, and transparency thins the ink.
        const cv::Vec3b same = vec(rgb);
        auto placed = [](const char* name) {
            return [name](double x, double y) {
                return "q 30 0 0 30 " + num(x) + " " + num(y) + " cm /" + std::string(name) + " Do Q\n";
            };
        };
        auto filled = [](const char* paint) {
            return [paint](double x, double y) { return std::string(paint) + " " + rect(x, y, 30, 30) + "f\n"; };
        };
        auto clipped_shading = [](const char* before, const char* name) {
            return [before, name](double x, double y) {
                return "q " + std::string(before) + rect(x, y, 30, 30) + "W n /" + name + " sh Q\n";
            };
        };
        const std::vector<Way> ways{
            {"fill", [&](double x, double y) { return colour + rect(x, y, 30, 30) + "f\n"; }, same},
            {"stroke",
             [&](double x, double y) {
                 return values + " K 8 w " + num(x) + " " + num(y + 15) + " m " + num(x + 30) + " " + num(y + 15) +
                        " l S\n";
             },
             same},
            {"text",
             [&](double x, double y) {
                 return colour + "BT /F1 30 Tf " + num(x) + " " + num(y + 4) + " Td (HI) Tj ET\n";
             },
             same},
            {"image", [&](double x, double y) { return fx::draw_image(0, 30, 0, 0, 30, x, y); }, same},
            {"image mask",
             [&](double x, double y) {
                 return "q " + colour + "30 0 0 30 " + num(x) + " " + num(y) + " cm BI /W 8 /H 8 /IM true /BPC 1 ID " +
                        std::string(8, '\0') + "\nEI Q\n";
             },
             same,
             2},  // MuPDF truncates an image mask's colour to the byte below: one step of an ink
            {"Separation", filled("/Ink cs 1 scn"), same},
            {"DeviceN", filled("/Duo cs 1 1 scn"), twice(ink), 2},
            {"Indexed", filled("/Ix cs 1 sc"), same},
            {"ICCBased with 4 components",
             [&](double x, double y) { return "/Icc cs " + values + " sc " + rect(x, y, 30, 30) + "f\n"; },
             same},
            {"Indexed image", placed("ImIx"), same},
            {"Separation image", placed("ImInk"), same},
            {"image with an inverting decode array", placed("ImInv"), same},
            {"shading", clipped_shading("", "Flat"), same},
            {"shading in a Separation", clipped_shading("", "FlatInk"), same},
            {"mesh shading",
             [](double x, double y) { return "q 1 0 0 1 " + num(x) + " " + num(y) + " cm /Mesh sh Q\n"; },
             same},
            {"shading pattern", filled("/Pattern cs /ShadingPattern scn"), same},
            {"tiling pattern with a mesh shading in its cell", filled("/Pattern cs /Tiles scn"), same},
            {"CMYK transparency group",
             [](double x, double y) { return "q 1 0 0 1 " + num(x) + " " + num(y) + " cm /Fm0 Do Q\n"; },
             same},
            {"soft-masked image",
             [](double x, double y) { return fx::draw_image(1, 30, 0, 0, 30, x, y); },
             thinned(ink, 128 / 255.0f),
             2},
            {"shading at half opacity", clipped_shading("/Half gs ", "Flat"), thinned(ink, 0.5f), 2},
        };

        const double box = 40, height = box * double(ways.size());
        fx::Page page;
        page.media = {0, 0, box, height};
        const std::vector<unsigned char> sample(bytes.begin(), bytes.end());
        page.images.push_back(fx::solid_image(4, 4, sample));
        fx::Image half = fx::solid_image(4, 4, sample);
        half.alpha.assign(16, 128);
        page.images.push_back(half);
        page.forms.push_back({{0, 0, 30, 30}, colour + rect(0, 0, 30, 30) + "f\n"});
        for (std::size_t i = 0; i < ways.size(); ++i) page.content += ways[i].content(5, 5 + box * double(i));
        const auto path = write(page);

        fx::ResourceEditor r(path);
        const std::string tint = "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [" + values + "] /N 1 >>";
        const std::string separation = "[/Separation /Ink /DeviceCMYK " + tint + "]";
        r.add("/ColorSpace", "/Ink", separation);
        auto duo = QPDFObjectHandle::parse("[/DeviceN [/One /Two] /DeviceCMYK null]");
        duo.setArrayItem(
            3,
            r.stream("<< /FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1 0 1] >>", "{ pop pop " + values + " }"));
        r.add("/ColorSpace", "/Duo", duo);
        auto indexed = [&] {
            auto space = QPDFObjectHandle::parse("[/Indexed /DeviceCMYK 1]");
            space.appendItem(QPDFObjectHandle::newString(std::string(4, '\0') + bytes));
            return space;
        };
        r.add("/ColorSpace", "/Ix", indexed());
        auto icc = QPDFObjectHandle::newArray();
        icc.appendItem(QPDFObjectHandle::newName("/ICCBased"));
        icc.appendItem(r.stream("<< /N 4 >>", "not a real profile"));
        r.add("/ColorSpace", "/Icc", icc);
        auto image = [&](QPDFObjectHandle space, const std::string& extra, const std::string& data) {
            auto im = r.stream(
                "<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8" + extra + " >>", data);
            im.getDict().replaceKey("/ColorSpace", space);
            return im;
        };
        r.add("/XObject", "/ImIx", image(indexed(), "", std::string(4, '\1')));
        r.add("/XObject", "/ImInk", image(QPDFObjectHandle::parse(separation), "", std::string(4, '\xff')));
        r.add("/XObject",
              "/ImInv",
              image(QPDFObjectHandle::newName("/DeviceCMYK"), " /Decode [1 0 1 0 1 0 1 0]", repeat(inverted, 4)));
        const std::string flat =
            "<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [0 0 1000 0] /Extend [true true] "
            "/Function << /FunctionType 2 /Domain [0 1] /C0 [" +
            values + "] /C1 [" + values + "] /N 1 >> >>";
        r.add("/Shading", "/Flat", flat);
        r.add(
            "/Shading",
            "/FlatInk",
            "<< /ShadingType 2 /ColorSpace " + separation +
                " /Coords [0 0 1000 0] /Extend [true true] /Function << /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [1] "
                "/N 1 >> >>");
        std::string mesh;  // two triangles over 30 x 30: flag, 16-bit x and y, 8-bit CMYK
        for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}})
            mesh += '\0' + std::string(2, char(x ? 0xff : 0)) + std::string(2, char(y ? 0xff : 0)) + bytes;
        const auto mesh_shading = r.stream(
            "<< /ShadingType 4 /ColorSpace /DeviceCMYK /BitsPerCoordinate 16 "
            "/BitsPerComponent 8 /BitsPerFlag 8 /Decode [0 30 0 30 0 1 0 1 0 1 0 1] >>",
            mesh);
        r.add("/Shading", "/Mesh", mesh_shading);
        r.add("/Pattern", "/ShadingPattern", "<< /PatternType 2 /Shading " + flat + " >>");
        // The pattern's first cell lies far off the page, where MuPDF draws it before tiling.
        auto tiles = r.stream(
            "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
            "/Matrix [1 0 0 1 -1000 -1000] >>",
            "q 0.34 0 0 0.34 0 0 cm /Mesh sh Q");
        auto tile_shadings = QPDFObjectHandle::newDictionary();
        tile_shadings.replaceKey("/Mesh", mesh_shading);
        auto tile_resources = QPDFObjectHandle::newDictionary();
        tile_resources.replaceKey("/Shading", tile_shadings);
        tiles.getDict().replaceKey("/Resources", tile_resources);
        r.add("/Pattern", "/Tiles", tiles);
        r.add("/ExtGState", "/Half", "<< /ca 0.5 >>");
        r.get("/XObject", "/Fm0")
            .getDict()
            .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceCMYK /I true >>"));
        r.save();

        for (double dpi : {144.0, 300.0}) {
            const cv::Mat pixels = render_pdf(path, 1, dpi).pixels;
            for (std::size_t i = 0; i < ways.size(); ++i) {
                const int top = int((height - box * double(i + 1)) * dpi / 72), side = int(box * dpi / 72);
                const cv::Mat area = pixels(cv::Rect(0, top, side, side));
                int painted = 0, wrong = 0;
                cv::Vec3b example = WHITE;
                for (int row = 0; row < area.rows; ++row)
                    for (int col = 0; col < area.cols; ++col) {
                        const cv::Vec3b p = area.at<cv::Vec3b>(row, col);
                        if (p == WHITE) continue;
                        ++painted;
                        if (largest_difference(p, ways[i].expected) > ways[i].tolerance) ++wrong, example = p;
                    }
                const std::string where = ways[i].name + " in " + values + " at " + std::to_string(int(dpi)) + " dpi";
                EXPECT_GT(painted, 0) << where;
                EXPECT_EQ(wrong, 0) << where << ", for example " << example << " instead of " << ways[i].expected;
            }
        }
    }
}

TEST_F(CmykRender, RgbAndGreyPagesDrawExactlyAsMuPdfAlone) {
    fx::Page page;
    page.media = {0, 0, 200, 200};
    page.images.push_back(fx::checkerboard(8, 8));
    page.images.push_back(fx::solid_image(3, 2, {90}));
    page.forms.push_back({{0, 0, 60, 60}, "0.2 0.6 0.9 rg 0 0 60 60 re f 0.5 g 10 10 40 40 re f\n"});
    page.forms.push_back({{0, 0, 200, 200}, "0 g 0 0 200 200 re f 1 g 0 0 100 200 re f\n"});
    page.content = fx::fill_rect({0, 0, 200, 200}, 0.95, 0.9, 0.7) + fx::fill_rect({10, 10, 80, 30}, 0.1, 0.5, 0.2) +
                   "0.3 g 100 10 40 30 re f\n" + fx::stroke_line(10, 60, 190, 75, 0.7, 0.2) +
                   fx::text(10, 85, 14, "RGB and grey only") + fx::draw_image(0, 50, 0, 0, 50, 140, 140) +
                   fx::draw_image(1, 30, 0, 0, 20, 150, 100) + "q 10 100 120 40 re W n /Rgb sh Q\n" +
                   "q /Half gs 0.9 0.1 0.1 rg 40 20 100 100 re f Q\n" + "q 1 0 0 1 20 130 cm /Fm0 Do Q\n" +
                   "q /Masked gs 0 0 1 rg 100 150 90 40 re f Q\n";
    const auto path = write(page);
    fx::ResourceEditor r(path);
    r.add("/Shading",
          "/Rgb",
          "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [10 0 130 0] /Function << /FunctionType 2 /Domain [0 1] "
          "/C0 [1 0 0] /C1 [0 0.4 1] /N 1 >> >>");
    r.add("/ExtGState", "/Half", "<< /ca 0.5 /BM /Multiply >>");
    auto mask = QPDFObjectHandle::parse("<< /SMask << /Type /Mask /S /Luminosity >> >>");
    mask.getKey("/SMask").replaceKey("/G", r.get("/XObject", "/Fm1"));
    r.add("/ExtGState", "/Masked", mask);
    r.get("/XObject", "/Fm0")
        .getDict()
        .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceRGB >>"));
    r.get("/XObject", "/Fm1")
        .getDict()
        .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceGray >>"));
    r.save();

    for (double dpi : {144.0, 300.0}) {
        const cv::Mat ours = render_pdf(path, 1, dpi).pixels;
        cv::Mat plain;
        {
            tesmira::engine::PlainDrawing plain_drawing;
            plain = render_pdf(path, 1, dpi).pixels;
        }
        EXPECT_EQ(cv::norm(ours, plain, cv::NORM_INF), 0) << dpi;
        EXPECT_GT(colours(ours).size(), 20u) << "the page draws what it should at " << dpi;
    }
}

TEST_F(CmykRender, IdenticalCmykPagesStayIdentical) {
    fx::Page page;
    page.media = {0, 0, 120, 120};
    page.images.push_back(fx::solid_image(3, 3, {40, 200, 10, 90}));
    page.content = cmyk_fill({0.5f, 0.5f, 0.5f, 1}) + rect(0, 0, 60, 120) + "f\n" +
                   fx::draw_image(0, 50, 0, 0, 50, 65, 5) + "q 60 60 60 60 re W n /Dark sh Q\n" +
                   cmyk_fill({0.1f, 0.9f, 0, 0.3f}) + "BT /F1 12 Tf 5 100 Td (Identical) Tj ET\n";
    const auto first = write(page, "first.pdf"), second = write(page, "second.pdf");
    for (const auto& path : {first, second}) {
        fx::ResourceEditor r(path);
        r.add("/Shading",
              "/Dark",
              "<< /ShadingType 3 /ColorSpace /DeviceCMYK /Coords [90 90 0 90 90 30] /Function << /FunctionType 2 "
              "/Domain [0 1] /C0 [0.6 0.4 0.4 0.8] /C1 [0.6 0.4 0.4 1] /N 1 >> >>");
        r.save();
    }
    for (double dpi : {144.0, 300.0}) {
        const cv::Mat a = render_pdf(first, 1, dpi).pixels;
        EXPECT_EQ(cv::norm(a, render_pdf(second, 1, dpi).pixels, cv::NORM_INF), 0) << dpi;
        EXPECT_EQ(cv::norm(a, render_pdf(first, 1, dpi).pixels, cv::NORM_INF), 0) << dpi;
    }
}

TEST_F(CmykRender, BlackTextLinesAndImagesStayOneColour) {
    // Pure K and a rich black, each alone on its page: one RGB value and white, nothing between.
    for (const Cmyk ink : {Cmyk{0, 0, 0, 1}, Cmyk{0.6f, 0.4f, 0.4f, 1}}) {
        const std::string values = num(ink.c) + " " + num(ink.m) + " " + num(ink.y) + " " + num(ink.k);
        fx::Page page;
        page.media = {0, 0, 200, 120};
        fx::Image board = fx::checkerboard(40, 40);
        board.components = 4;
        board.samples.clear();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x)
                for (float v : {ink.c, ink.m, ink.y, ink.k})
                    board.samples.push_back((x + y) % 2 == 0 ? (unsigned char)std::lround(v * 255) : 0);
        page.images.push_back(board);
        page.content = values + " k " + values + " K BT /F1 9 Tf 10 80 Td (Hairline proof 0.1 mm) Tj ET " +
                       "BT /F1 23 Tf 10 40 Td (Wgqy@&%) Tj ET 0.1 w 5 5 m 195 30 l S 0.35 w 5 110 m 190 60 l S " +
                       "0 w 100 5 m 101 115 l S\n" + fx::draw_image(0, 9.1, 0, 0, 9.3, 150, 80);
        const auto path = write(page);
        const auto expected = std::set<std::tuple<int, int, int>>{
            {cmyk_to_rgb(ink)[0], cmyk_to_rgb(ink)[1], cmyk_to_rgb(ink)[2]}, {255, 255, 255}};
        for (double dpi : {144.0, 200.0, 300.0})
            EXPECT_EQ(colours(render_pdf(path, 1, dpi).pixels), expected) << values << " at " << dpi << " dpi";
    }
}

TEST_F(CmykRender, SoftMaskPaintedInCmykBlackHidesCompletely) {
    // In a soft mask, colours stand for opacity: K 100 % hides, paper white shows.
    fx::Page page;
    page.media = {0, 0, 100, 100};
    page.forms.push_back({{0, 0, 100, 100}, "0 0 0 1 k 0 0 50 100 re f 0 0 0 0 k 50 0 50 100 re f\n"});
    page.content = "q /Masked gs 1 0 0 rg 0 0 100 100 re f Q\n";
    const auto path = write(page);
    fx::ResourceEditor r(path);
    auto mask = QPDFObjectHandle::parse("<< /SMask << /Type /Mask /S /Luminosity >> >>");
    mask.getKey("/SMask").replaceKey("/G", r.get("/XObject", "/Fm0"));
    r.add("/ExtGState", "/Masked", mask);
    r.get("/XObject", "/Fm0")
        .getDict()
        .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceCMYK >>"));
    r.save();
    const cv::Mat pixels = render_pdf(path, 1, 144).pixels;
    EXPECT_EQ(pixel_at(pixels, 25, 50, 100, 144), WHITE);
    EXPECT_EQ(pixel_at(pixels, 75, 50, 100, 144), cv::Vec3b(255, 0, 0));
}

TEST_F(CmykRender, ShadingsKeepTheirClipAndEveryDarkStep) {
    // A mesh over the whole page, from C 20 % at the top to C 20 % K 100 % at the bottom, clipped
    // to a triangle; at 300 dpi it is painted in several strips. A mesh triangle in one corner
    // and a dark spot ring without Extend in another leave the rest as it was. Every shading
    // must cover exactly the pixels MuPDF alone covers.
    auto mesh = [](std::initializer_list<std::array<double, 6>> vertices) {  // x, y (0-300), c, m, y, k
        std::string data;
        for (const auto& v : vertices) {
            data += '\0';
            for (int i = 0; i < 2; ++i) {
                const long coordinate = std::lround(v[std::size_t(i)] / 300 * 65535);
                data += char(coordinate >> 8);
                data += char(coordinate & 0xff);
            }
            for (int i = 2; i < 6; ++i) data += char(std::lround(v[std::size_t(i)] * 255));
        }
        return data;
    };
    fx::Page page;
    page.media = {0, 0, 300, 300};
    page.with_font = false;
    page.content = "1 0 0 rg 0 0 300 300 re f q 10 10 m 290 40 l 150 230 l h W n /Down sh Q /Corner sh /Ring sh\n";
    const auto path = write(page);
    {
        fx::ResourceEditor r(path);
        const std::string dictionary =
            "<< /ShadingType 4 /ColorSpace /DeviceCMYK /BitsPerCoordinate 16 "
            "/BitsPerComponent 8 /BitsPerFlag 8 /Decode [0 300 0 300 0 1 0 1 0 1 0 1] >>";
        r.add("/Shading",
              "/Down",
              r.stream(dictionary,
                       mesh({{0, 300, 0.2, 0, 0, 0},
                             {300, 300, 0.2, 0, 0, 0},
                             {0, 0, 0.2, 0, 0, 1},
                             {300, 300, 0.2, 0, 0, 0},
                             {300, 0, 0.2, 0, 0, 1},
                             {0, 0, 0.2, 0, 0, 1}})));
        r.add("/Shading",
              "/Corner",
              r.stream(dictionary,
                       mesh({{0, 300, 0.6, 0.4, 0.4, 1}, {50, 300, 0.6, 0.4, 0.4, 1}, {0, 250, 0.6, 0.4, 0.4, 1}})));
        r.add("/Shading",
              "/Ring",
              std::string("<< /ShadingType 3 /ColorSpace ") + SPOT +
                  " /Coords [270 270 10 270 270 25] /Function << /FunctionType 2 /Domain [0 1] /C0 [0.8] /C1 [1] /N 1 "
                  ">> >>");
        r.save();
    }
    const double dpi = 300;
    const cv::Mat pixels = render_pdf(path, 1, dpi).pixels;
    cv::Mat plain;
    {
        tesmira::engine::PlainDrawing plain_drawing;
        plain = render_pdf(path, 1, dpi).pixels;
    }
    // The RGB red under the shadings, as it prints: M and Y through MuPDF's conversion.
    const cv::Vec3b red = vec(cmyk_to_rgb({0, 1, 1, 0}));
    int differing = 0;
    for (int row = 0; row < pixels.rows; ++row)
        for (int col = 0; col < pixels.cols; ++col)
            differing += (pixels.at<cv::Vec3b>(row, col) == red) != (plain.at<cv::Vec3b>(row, col) == red);
    EXPECT_EQ(differing, 0);

    // Down the middle of the triangle every channel darkens or stays, and all of it is visible.
    const int col = int(150 * dpi / 72);
    const int first = int((300 - 220) * dpi / 72), last = int((300 - 45) * dpi / 72);
    for (int row = first + 1; row <= last; ++row)
        for (int ch = 0; ch < 3; ++ch)
            ASSERT_LE(pixels.at<cv::Vec3b>(row, col)[ch], pixels.at<cv::Vec3b>(row - 1, col)[ch]) << row;
    std::set<std::tuple<int, int, int>> steps;
    for (int row = first; row <= last; ++row) {
        const cv::Vec3b p = pixels.at<cv::Vec3b>(row, col);
        steps.insert({p[0], p[1], p[2]});
    }
    EXPECT_GT(steps.size(), 100u);
    EXPECT_LE(largest_difference(pixel_at(pixels, 150, 150, 300, dpi), vec(cmyk_to_rgb({0.2f, 0, 0, 0.5f}))), 2);

    // The corner triangle, and the red beside it.
    EXPECT_LE(largest_difference(pixel_at(pixels, 10, 290, 300, dpi), vec(cmyk_to_rgb({0.6f, 0.4f, 0.4f, 1}))), 1);
    EXPECT_EQ(pixel_at(pixels, 45, 260, 300, dpi), red);

    // The ring: spot tints 80 to 100 %, all apart from MuPDF's saturated black; around it the red stays.
    EXPECT_EQ(pixel_at(pixels, 298, 298, 300, dpi), red);
    EXPECT_EQ(pixel_at(pixels, 270, 270, 300, dpi), red);
    const cv::Vec3b inner = pixel_at(pixels, 281, 270, 300, dpi), outer = pixel_at(pixels, 294, 270, 300, dpi);
    EXPECT_LE(largest_difference(inner, vec(cmyk_to_rgb({0.3f * 0.8f, 0.8f, 0.7f * 0.8f, 0.5f * 0.8f}))), 3);
    EXPECT_LE(largest_difference(outer, vec(cmyk_to_rgb({0.3f, 1, 0.7f, 0.5f}))), 3);
    EXPECT_GE(largest_difference(inner, outer), 10);
}
