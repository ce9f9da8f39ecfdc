// Pages that print differently from how they look: overprint, spot inks, CMYK blending and
// glyphs. Each case is a pair whose pages look alike on a plain RGB rendering and print
// differently; every one must be found at 144 and at 300 dpi with the default settings.
#include <gtest/gtest.h>

#include <qpdf/QPDFWriter.hh>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/compare.hpp"
#include "engine/page_job.hpp"
#include "engine/render.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using tesmira::Json;
using tesmira::engine::CANVAS_MARGIN;

namespace {

std::string tint(const std::string& cmyk) {
    return "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [" + cmyk + "] /N 1 >>";
}

std::string separation(const std::string& name, const std::string& cmyk) {
    return "[/Separation /" + name + " /DeviceCMYK " + tint(cmyk) + "]";
}

// A Type 3 font of one square glyph, "A", painted in `cmyk`.
QPDFObjectHandle square_font(fx::ResourceEditor& editor, const std::string& cmyk) {
    QPDFObjectHandle font = QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
        "/Encoding << /Type /Encoding /Differences [65 /square] >> /FirstChar 65 /LastChar 65 /Widths [1000] "
        "/Resources << >> >>");
    QPDFObjectHandle procs = QPDFObjectHandle::newDictionary();
    procs.replaceKey("/square", editor.stream("<< >>", "1000 0 d0 " + cmyk + " k 0 0 1000 1000 re f"));
    font.replaceKey("/CharProcs", procs);
    return font;
}

// Every press page carries the same resources, so that each case's content may use any of them:
// graphics states, spot inks, a DeviceN space, a spot gradient, two Type 3 fonts, a CMYK image
// and the same artwork in an RGB and in a CMYK blending group (/Fm0, /Fm1).
void write_press_page(const fs::path& path, const std::string& content) {
    fx::Page page;
    page.media = {0, 0, 200, 200};
    page.images.push_back(fx::solid_image(2, 2, {128, 0, 0, 0}));
    const std::string artwork = "0.6 0.4 0.4 1 k 40 40 120 120 re f /Multiply gs 0.3 0 0 0 k 60 60 80 80 re f\n";
    page.forms.push_back({{0, 0, 200, 200}, artwork});
    page.forms.push_back({{0, 0, 200, 200}, artwork});
    page.content = content;
    fx::write_pdf(fx::many_pages(1, page), path);

    fx::ResourceEditor e(path);
    e.add("/ExtGState", "/Overprint", "<< /OP true /op true /OPM 1 >>");
    e.add("/ExtGState", "/OverprintOPM0", "<< /OP true /op true /OPM 0 >>");
    e.add("/ExtGState", "/FillsOverprint", "<< /OP false /op true /OPM 1 >>");
    e.add("/ExtGState", "/StrokesOverprint", "<< /OP true /op false /OPM 1 >>");
    e.add("/ExtGState", "/Multiply", "<< /BM /Multiply >>");
    e.add("/ColorSpace", "/Spot", separation("Spot#20One", "0 0.5 1 0"));
    e.add("/ColorSpace", "/Renamed", separation("Spot#20Two", "0 0.5 1 0"));
    e.add("/ColorSpace", "/Pale", separation("Pale#20Blue", "0.03 0 0 0"));
    e.add("/ColorSpace", "/All", separation("All", "0 0 0 1"));
    e.add("/ColorSpace", "/None", separation("None", "0 0 0 1"));
    QPDFObjectHandle duo = QPDFObjectHandle::parse("[/DeviceN [/Spot#20One /Cyan] /DeviceCMYK null]");
    duo.setArrayItem(
        3, e.stream("<< /FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1 0 1] >>", "{ exch dup 0.5 mul exch 0 }"));
    e.add("/ColorSpace", "/Duo", duo);
    e.add("/Shading",
          "/SpotRamp",
          "<< /ShadingType 2 /ColorSpace " + separation("Spot#20One", "0 0.5 1 0") +
              " /Coords [20 0 180 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0.2] /C1 [1] /N 1 >> >>");
    e.add("/Font", "/Dark", square_font(e, "0.6 0.4 0.4 1"));
    e.add("/Font", "/Darker", square_font(e, "0.5 0.5 0.5 1"));
    e.get("/XObject", "/Fm0")
        .getDict()
        .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceRGB /I true >>"));
    e.get("/XObject", "/Fm1")
        .getDict()
        .replaceKey("/Group", QPDFObjectHandle::parse("<< /S /Transparency /CS /DeviceCMYK /I true >>"));
    e.save();
}

Json default_settings(int dpi) {
    return Json{{"page", 1},
                {"dpi", dpi},
                {"tolerance", 1},
                {"opacity", 10},
                {"border", 2},
                {"stamp", true},
                {"tiny_markers", false},
                {"grain", false},
                {"diagnostic_images", false}};
}

// The pixels of the result's white margin under the page (or above it) that are not white: the
// note's.
int note_pixels(const cv::Mat& result, bool above = false) {
    const cv::Mat margin =
        above ? result.rowRange(0, CANVAS_MARGIN - 4) : result.rowRange(result.rows - CANVAS_MARGIN + 4, result.rows);
    int count = 0;
    for (int r = 0; r < margin.rows; ++r)
        for (int c = 0; c < margin.cols; ++c) count += margin.at<cv::Vec3b>(r, c) != cv::Vec3b(255, 255, 255);
    return count;
}

class PressPages : public ::testing::Test {
protected:
    fx::TempFolder folder;
    tesmira::engine::ComparedPage compare(const std::string& old_content, const std::string& new_content, int dpi,
                                          Json extra = Json::object()) {
        write_press_page(folder.path() / "before.pdf", old_content);
        write_press_page(folder.path() / "after.pdf", new_content);
        Json settings = default_settings(dpi);
        settings.update(extra);
        return tesmira::engine::compare_page(folder.path(), tesmira::engine::read_page_settings(settings));
    }
};

const std::string CYAN_PANEL = "1 0 0 0 k 20 20 160 160 re f ";
const std::string BOX = " 60 60 80 80 re f ";
const std::string MASK = " BI /W 8 /H 8 /IM true /BPC 1 ID " + std::string(8, '\0') + "\nEI Q ";

}  // namespace

TEST_F(PressPages, ChangesThatOnlyPrintingShowAreFound) {
    struct Case {
        const char* name;
        std::string before, after;
        bool ink_only;  // the result tells that the change is in ink alone
    } cases[] = {
        {"fill overprint", CYAN_PANEL + "0 0 1 0 k" + BOX, CYAN_PANEL + "/Overprint gs 0 0 1 0 k" + BOX, false},
        {"stroke overprint",
         CYAN_PANEL + "0 0 1 0 K 8 w 30 100 m 170 100 l S",
         CYAN_PANEL + "/Overprint gs 0 0 1 0 K 8 w 30 100 m 170 100 l S",
         false},
        {"text overprint",
         CYAN_PANEL + "0 0 1 0 k BT /F1 40 Tf 30 90 Td (TEXT) Tj ET",
         CYAN_PANEL + "/Overprint gs 0 0 1 0 k BT /F1 40 Tf 30 90 Td (TEXT) Tj ET",
         false},
        {"white knocking out instead of overprinting, where it prints nothing",
         CYAN_PANEL + "/Overprint gs 0 0 0 0 k" + BOX,
         CYAN_PANEL + "0 0 0 0 k" + BOX,
         false},
        {"white text overprinting vanishes",
         CYAN_PANEL + "0 0 0 0 k BT /F1 40 Tf 30 90 Td (WHITE) Tj ET",
         CYAN_PANEL + "/Overprint gs 0 0 0 0 k BT /F1 40 Tf 30 90 Td (WHITE) Tj ET",
         false},
        {"image mask overprint",
         CYAN_PANEL + "q 0 0 1 0 k 80 0 0 80 60 60 cm" + MASK,
         CYAN_PANEL + "q /Overprint gs 0 0 1 0 k 80 0 0 80 60 60 cm" + MASK,
         false},
        {"CMYK image overprinting a spot panel",
         "/Spot cs 1 scn 20 20 160 160 re f " + fx::draw_image(0, 80, 0, 0, 80, 60, 60),
         "/Spot cs 1 scn 20 20 160 160 re f /Overprint gs " + fx::draw_image(0, 80, 0, 0, 80, 60, 60),
         false},
        {"OPM 0 against OPM 1",
         CYAN_PANEL + "/OverprintOPM0 gs 0 0 1 0 k" + BOX,
         CYAN_PANEL + "/Overprint gs 0 0 1 0 k" + BOX,
         false},
        {"strokes follow /OP, not /op",
         CYAN_PANEL + "/FillsOverprint gs 0 0 1 0 K 8 w 30 100 m 170 100 l S",
         CYAN_PANEL + "/StrokesOverprint gs 0 0 1 0 K 8 w 30 100 m 170 100 l S",
         false},
        {"Separation overprint",
         CYAN_PANEL + "/Spot cs 1 scn" + BOX,
         CYAN_PANEL + "/Overprint gs /Spot cs 1 scn" + BOX,
         false},
        // The spot's alternate holds all the yellow below it: only the Y plate tells.
        {"DeviceN overprint",
         "0 0 1 0 k 20 20 160 160 re f /Duo cs 1 1 scn" + BOX,
         "0 0 1 0 k 20 20 160 160 re f /Overprint gs /Duo cs 1 1 scn" + BOX,
         true},
        {"spot gradient overprint",
         CYAN_PANEL + "q 40 40 120 120 re W n /SpotRamp sh Q",
         CYAN_PANEL + "q /Overprint gs 40 40 120 120 re W n /SpotRamp sh Q",
         false},
        {"spot renamed, same alternate", "/Spot cs 1 scn" + BOX, "/Renamed cs 1 scn" + BOX, true},
        {"spot replaced by its alternate", "/Spot cs 1 scn" + BOX, "0 0.5 1 0 k" + BOX, true},
        {"pale spot at 100 against 90 %", "/Pale cs 1 scn" + BOX, "/Pale cs 0.9 scn" + BOX, true},
        {"All against K", "/All cs 1 scn" + BOX, "0 0 0 1 k" + BOX, false},
        {"None against K", "/None cs 1 scn" + BOX, "0 0 0 1 k" + BOX, false},
        {"blending space RGB against CMYK", "/Fm0 Do", "/Fm1 Do", false},
        {"CMYK in a Type 3 glyph", "BT /Dark 100 Tf 50 50 Td (A) Tj ET", "BT /Darker 100 Tf 50 50 Td (A) Tj ET", false},
        // Under solid K the two yellows look alike as they print.
        // The grey page prints as it looks and is drawn on its plates beside the CMYK one.
        {"grey black against rich black", "0 g" + BOX, "0.6 0.4 0.4 1 k" + BOX, false},
        {"yellow 40 against 42 % under K",
         "0 0 0 1 k 40 40 120 120 re f /Overprint gs 0 0 0.40 0 k" + BOX,
         "0 0 0 1 k 40 40 120 120 re f /Overprint gs 0 0 0.42 0 k" + BOX,
         true},
    };
    for (const Case& c : cases)
        for (int dpi : {144, 300}) {
            const auto page = compare(c.before, c.after, dpi);
            EXPECT_GE(page.stats.regions, 1) << c.name << " at " << dpi << " dpi";
            EXPECT_EQ(note_pixels(page.published) > 0, c.ink_only) << c.name << " at " << dpi << " dpi";
        }
}

TEST_F(PressPages, PagesThatPrintTheSameShowNoRegion) {
    const std::string everything = CYAN_PANEL + "q /Overprint gs 0 0 1 0 k" + BOX +
                                   "Q /Spot cs 0.5 scn 30 150 40 20 re f " +
                                   "q /Overprint gs /Duo cs 1 0.5 scn 120 150 40 20 re f Q /Fm1 Do " +
                                   "q 40 20 120 20 re W n /SpotRamp sh Q BT /Dark 20 Tf 150 30 Td (A) Tj ET " +
                                   fx::draw_image(0, 20, 0, 0, 20, 10, 10) + "/All cs 0.2 scn 170 170 10 10 re f";
    struct Case {
        const char* name;
        std::string before, after;
    } cases[] = {
        {"overprint, spots, groups and glyphs on both sides", everything, everything},
        {"fills follow /op, whatever /OP says",
         CYAN_PANEL + "/FillsOverprint gs 0 0 1 0 k" + BOX,
         CYAN_PANEL + "/Overprint gs 0 0 1 0 k" + BOX},
        {"overprinting a colour with no ink under it", "/Overprint gs 0 0 1 0 k" + BOX, "0 0 1 0 k" + BOX},
        // CMYK 0 0 0 0 overprinting with OPM 1 leaves every plate as it is: it prints nothing.
        {"an invisible white object removed", CYAN_PANEL + "/Overprint gs 0 0 0 0 k" + BOX, CYAN_PANEL},
        // Grey reaches the plates as K.
        {"grey on one side, the same black ink on the other", "0.5 g" + BOX, "0 0 0 0.5 k" + BOX},
    };
    for (const Case& c : cases)
        for (int dpi : {144, 300}) {
            const auto page = compare(c.before, c.after, dpi);
            EXPECT_EQ(page.stats.regions, 0) << c.name << " at " << dpi << " dpi";
            EXPECT_EQ(note_pixels(page.published), 0) << c.name << " at " << dpi << " dpi";
        }
}

TEST_F(PressPages, ALookThatChangesOnIdenticalPlatesIsToldAndCountedNotOutlined) {
    // The spot ink Gold with another alternate: the same plates, another look.
    auto write_gold = [&](const fs::path& path, const std::string& alternate, const std::string& content) {
        write_press_page(path, content);
        fx::ResourceEditor e(path);
        e.add("/ColorSpace", "/Gold", separation("Gold", alternate));
        e.save();
    };
    const std::string gold = "/Gold cs 1 scn" + BOX + "/Gold cs 0.4 scn 20 20 20 20 re f ";
    write_gold(folder.path() / "before.pdf", "0 0.2 0.8 0.1", gold);
    write_gold(folder.path() / "after.pdf", "0 0.35 0.9 0.3", gold);
    for (int dpi : {144, 300}) {
        auto page =
            tesmira::engine::compare_page(folder.path(), tesmira::engine::read_page_settings(default_settings(dpi)));
        EXPECT_EQ(page.stats.regions, 0) << dpi;
        EXPECT_EQ(page.look_only_places, 2) << dpi;
        EXPECT_GT(note_pixels(page.published, true), 0) << dpi << " dpi: the line above the page";
        EXPECT_EQ(note_pixels(page.published), 0) << dpi << " dpi: no ink-only line";
        EXPECT_EQ(tesmira::engine::finish_page(std::move(page)).record["look_only_places"], 2) << dpi;
    }
    // A change of the plates there is an ordinary region, the look's change within it no place.
    write_gold(
        folder.path() / "after.pdf", "0 0.35 0.9 0.3", "/Gold cs 0.9 scn" + BOX + "/Gold cs 0.4 scn 20 20 20 20 re f ");
    const auto page =
        tesmira::engine::compare_page(folder.path(), tesmira::engine::read_page_settings(default_settings(144)));
    EXPECT_EQ(page.stats.regions, 1);
    EXPECT_EQ(page.look_only_places, 1);
}

TEST_F(PressPages, AFileSavedAgainByQpdfComparesAsIdentical) {
    const std::string content = CYAN_PANEL + "/Overprint gs /Spot cs 1 scn" + BOX + "/Fm1 Do";
    write_press_page(folder.path() / "before.pdf", content);
    {
        QPDF pdf;
        pdf.processFile((folder.path() / "before.pdf").c_str());
        const std::string written = (folder.path() / "after.pdf").string();
        QPDFWriter writer(pdf, written.c_str());
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.setStreamDataMode(qpdf_s_uncompress);
        writer.write();
    }
    for (int dpi : {144, 300})
        EXPECT_EQ(
            tesmira::engine::compare_page(folder.path(), tesmira::engine::read_page_settings(default_settings(dpi)))
                .stats.regions,
            0)
            << dpi;
}

TEST_F(PressPages, NoiseSuppressionAndTinyMarkersWorkOnThem) {
    // A stray dot of spot ink, and the change of the spot's name.
    const auto page = compare("/Spot cs 1 scn" + BOX,
                              "/Renamed cs 1 scn" + BOX + "/Spot cs 1 scn 20 20 0.5 0.5 re f",
                              300,
                              Json{{"grain", true}, {"tiny_markers", true}});
    EXPECT_EQ(page.stats.regions, 2);
    EXPECT_TRUE(page.strict_png.has_value());
    EXPECT_EQ(page.noise["strict_regions"], 2);
    EXPECT_EQ(page.tiny_marks["tiny_components"], 1);
}

// Ghostscript's pdfwrite sets only /op for fills and text, and never /OPM.
TEST_F(PressPages, OverprintAsGhostscriptWritesItIsFound) {
    auto make = [&](const fs::path& pdf, bool overprint) {
        const fs::path ps = folder.path() / "page.ps";
        std::ofstream(ps) << "%!PS\n<< /PageSize [200 200] >> setpagedevice\n"
                          << "1 0 0 0 setcmykcolor 20 20 160 160 rectfill\n"
                          << (overprint ? "true" : "false") << " setoverprint\n"
                          << "[/Separation (Gold) /DeviceCMYK { dup 0 mul exch dup 0.2 mul exch dup 0.8 mul exch 0.1 "
                             "mul }] setcolorspace\n"
                          << "1 setcolor 60 60 80 80 rectfill\n"
                          << "/Helvetica findfont 30 scalefont setfont 0.5 setcolor 30 30 moveto (GOLD) show\n"
                          << "showpage\n";
        const std::string command = "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile='" + pdf.string() +
                                    "' '" + ps.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    };
    make(folder.path() / "before.pdf", false);
    make(folder.path() / "after.pdf", true);
    for (int dpi : {144, 300}) {
        const auto page =
            tesmira::engine::compare_page(folder.path(), tesmira::engine::read_page_settings(default_settings(dpi)));
        EXPECT_GE(page.stats.regions, 2) << dpi << " dpi: the box and the text";
    }
}
