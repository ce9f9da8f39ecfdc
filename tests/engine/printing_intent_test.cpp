// Pages are compared as they print: layers in their print state, annotations and form fields only
// as far as they print. Each case is a one-page pair that differs only there.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/compare.hpp"
#include "engine/page_job.hpp"
#include "engine/page_views.hpp"
#include "engine/render.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/printing.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using tesmira::Json;
using tesmira::engine::CANVAS_MARGIN;

namespace {

struct Annotation {
    std::string subtype;
    int flags;
    bool in_layer = false;
};

// One page of a pair: a line of text, and what the case adds.
struct Side {
    std::string content{};
    std::optional<fx::Layer> layer{};
    std::vector<Annotation> annotations{};
};

const fx::Rect BOX{60, 60, 140, 140};
const std::string BLUE_BOX = "0 0 1 rg 60 60 80 80 re f\n";
const std::string CYAN_BOX = "1 0 0 0 k 60 60 80 80 re f\n";

void write_side(const fs::path& path, const Side& side) {
    fx::Page page;
    page.media = {0, 0, 200, 200};
    page.content = fx::text(20, 170, 12, "Proof") + side.content;
    fx::write_pdf(fx::many_pages(1, page), path);
    fx::ResourceEditor editor(path);
    if (side.layer) fx::add_layer(editor, *side.layer);
    for (const Annotation& a : side.annotations)
        fx::add_annotation(editor, a.subtype, a.flags, BOX, "0 0 1", a.in_layer);
    editor.save();
}

Json settings(int dpi) {
    return Json{
        {"page", 1}, {"dpi", dpi}, {"tolerance", 1}, {"opacity", 10}, {"border", 2}, {"diagnostic_images", false}};
}

class PrintingIntent : public ::testing::Test {
protected:
    fx::TempFolder folder;
    fs::path before = folder.path() / "before.pdf", after = folder.path() / "after.pdf";

    int regions(const Side& old_side, const Side& new_side, int dpi) {
        write_side(before, old_side);
        write_side(after, new_side);
        return tesmira::engine::compare_page(before, after, tesmira::engine::read_page_settings(settings(dpi)))
            .stats.regions;
    }
};

const fx::Layer PRINTED_NOT_SHOWN{.on = false, .prints = true};
const fx::Layer SHOWN_NOT_PRINTED{.on = true, .prints = false};

}  // namespace

TEST_F(PrintingIntent, PagesCompareAsTheyPrint) {
    struct Case {
        const char* name;
        Side before, after;
        bool found;
    } cases[] = {
        {"a layer hidden on screen but printed", {}, {fx::in_layer(BLUE_BOX), PRINTED_NOT_SHOWN}, true},
        {"a layer whose print state alone changes",
         {fx::in_layer(BLUE_BOX), fx::Layer{.prints = true}},
         {fx::in_layer(BLUE_BOX), fx::Layer{.prints = false}},
         true},
        {"a layer shown on screen that does not print", {}, {fx::in_layer(BLUE_BOX), SHOWN_NOT_PRINTED}, false},
        {"a print state that no /AS entry applies",
         {},
         {fx::in_layer(BLUE_BOX), fx::Layer{.on = true, .prints = false, .print_event = false}},
         true},
        {"the default configuration, not the first alternate",
         {},
         {fx::in_layer(BLUE_BOX), fx::Layer{.on = false, .first_config = true}},
         false},
        {"a layer's print state on a page that prints differently",
         {fx::in_layer(CYAN_BOX), fx::Layer{.prints = true}},
         {fx::in_layer(CYAN_BOX), fx::Layer{.prints = false}},
         true},
        {"an annotation that does not print", {}, {"", {}, {{"Square", 0}}}, false},
        {"an annotation that prints but is not shown on screen",
         {},
         {"", {}, {{"Square", fx::PRINT | fx::NO_VIEW}}},
         true},
        {"an annotation that prints", {}, {"", {}, {{"Square", fx::PRINT}}}, true},
        {"a hidden annotation, whatever its print flag", {}, {"", {}, {{"Square", fx::HIDDEN | fx::PRINT}}}, false},
        {"a printing annotation in a layer that does not print",
         {},
         {"", SHOWN_NOT_PRINTED, {{"Square", fx::PRINT, true}}},
         false},
        {"a form field that does not print", {}, {"", {}, {{"Widget", 0}}}, false},
        {"a form field that prints", {}, {"", {}, {{"Widget", fx::PRINT}}}, true},
    };
    for (const Case& c : cases) {
        const int found = regions(c.before, c.after, 144);
        if (c.found)
            EXPECT_GE(found, 1) << c.name;
        else
            EXPECT_EQ(found, 0) << c.name;
    }
}

TEST_F(PrintingIntent, TheViewsShowThePagesAsTheyPrint) {
    write_side(before, {"", {}, {{"Square", 0}}});
    write_side(after, {fx::in_layer(BLUE_BOX), PRINTED_NOT_SHOWN});
    const tesmira::engine::PageViews views = tesmira::engine::draw_page_views(before, after, 1, 144);
    const cv::Point centre(CANVAS_MARGIN + 200, CANVAS_MARGIN + 200);
    EXPECT_EQ(views.before.at<cv::Vec3b>(centre), cv::Vec3b(255, 255, 255)) << "the annotation does not print";
    EXPECT_EQ(views.after.at<cv::Vec3b>(centre), cv::Vec3b(0, 0, 255)) << "the layer prints";
}

TEST_F(PrintingIntent, OptionalContentThatIsNoGroupIsPassedBy) {
    write_side(after, {fx::in_layer(BLUE_BOX), SHOWN_NOT_PRINTED});
    {
        fx::ResourceEditor editor(after);
        QPDFObjectHandle groups = editor.root().getKey("/OCProperties").getKey("/OCGs");
        groups.appendItem(editor.indirect("42"));
        groups.appendItem(QPDFObjectHandle::parse("/NotAGroup"));
        editor.save();
    }
    const cv::Mat pixels = tesmira::engine::render_pdf(after, 1, 144).pixels;
    EXPECT_EQ(pixels.at<cv::Vec3b>(200, 200), cv::Vec3b(255, 255, 255)) << "the layer still does not print";
}
