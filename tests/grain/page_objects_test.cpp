#include "grain/page_objects.hpp"

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <functional>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "fixtures/refusal.hpp"
#include "grain_pages.hpp"

namespace fx = tesmira::fixtures;
using namespace tesmira::grain;
using namespace tesmira::grain::testing;

namespace {

const std::string CLIPPED = "クリッピングのあるページは軽減対象外です。";
const std::string ROTATED = "回転ページは軽減対象外です。";
const std::string TOO_MANY = "オブジェクト数が多いため厳密比較に戻します。";
const std::string NO_POSITION = "位置を確定できません。";

using Box = std::array<int, 4>;
using Bounds = std::array<double, 4>;

class PageObjects : public ::testing::Test {
protected:
    fx::TempFolder folder;

    std::vector<PageObjectRecord> list(const fx::Page& page, std::optional<int> inherited_rotate = {},
                                       int height = SIDE, int width = SIDE) {
        return page_objects(write_page(folder, "page.pdf", page, inherited_rotate), 1, height, width);
    }
    // The refusal's sentence, or "" when the page is listed.
    std::string refusal(const fx::Page& page, std::optional<int> inherited_rotate = {}) {
        return tesmira::fixtures::refusal([&] { list(page, inherited_rotate); });
    }
};

std::vector<ObjectType> types(const std::vector<PageObjectRecord>& records) {
    std::vector<ObjectType> out;
    for (const PageObjectRecord& r : records) out.push_back(r.type);
    return out;
}

std::string many_rects(int count) {
    std::string content;
    for (int i = 0; i < count; ++i) content += "0 0 1 1 re f\n";
    return content;
}

// A path drawn at a scale of 1e40, beyond float. (MuPDF's lexer caps single large
// numbers, so the scale is built up by repeated cm.)
std::string unplaceable_path() {
    std::string content = "q ";
    for (int i = 0; i < 10; ++i) content += "10000 0 0 10000 0 0 cm ";
    return content + "0 0 10 10 re f Q\n";
}

// Rewrites the file with `edit` applied to its first page, for what the builder cannot write.
std::filesystem::path edited(const std::filesystem::path& path,
                             const std::function<void(QPDF&, QPDFObjectHandle page)>& edit) {
    QPDF pdf;
    pdf.processFile(path.c_str());
    edit(pdf, QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle());
    const std::filesystem::path out = path.parent_path() / ("edited-" + path.filename().string());
    QPDFWriter writer(pdf, out.c_str());
    writer.write();
    return out;
}

// Patterns and shadings in the page resources: /Small tiles (a 10 pt cell), /Large is one
// cell reaching far beyond any shape it fills, /Shade fills with an unbounded axial
// shading, which /Sh paints on its own.
void add_patterns(QPDF& pdf, QPDFObjectHandle page) {
    QPDFObjectHandle resources = page.getKey("/Resources");
    const QPDFObjectHandle shading = QPDFObjectHandle::parse(
        "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 200 0] /Extend [true true]"
        " /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> >>");
    auto tiling = [&](const std::string& bbox, int step, const std::string& cell) {
        QPDFObjectHandle pattern = pdf.newStream(cell);
        QPDFObjectHandle dict = pattern.getDict();
        dict.replaceKey("/PatternType", QPDFObjectHandle::newInteger(1));
        dict.replaceKey("/PaintType", QPDFObjectHandle::newInteger(1));
        dict.replaceKey("/TilingType", QPDFObjectHandle::newInteger(1));
        dict.replaceKey("/BBox", QPDFObjectHandle::parse(bbox));
        dict.replaceKey("/XStep", QPDFObjectHandle::newInteger(step));
        dict.replaceKey("/YStep", QPDFObjectHandle::newInteger(step));
        dict.replaceKey("/Resources", QPDFObjectHandle::newDictionary());
        return pattern;
    };
    QPDFObjectHandle patterns = QPDFObjectHandle::newDictionary();
    patterns.replaceKey("/Small", tiling("[0 0 10 10]", 10, "0 0 1 rg 0 0 5 5 re f"));
    patterns.replaceKey("/Large", tiling("[-1000 -1000 1000 1000]", 2000, "1 0 0 rg -500 -500 1000 1000 re f"));
    patterns.replaceKey("/Shade", QPDFObjectHandle::parse("<< /PatternType 2 >>"));
    patterns.getKey("/Shade").replaceKey("/Shading", shading);
    resources.replaceKey("/Pattern", patterns);
    QPDFObjectHandle shadings = QPDFObjectHandle::newDictionary();
    shadings.replaceKey("/Sh", shading);
    resources.replaceKey("/Shading", shadings);
}

TEST_F(PageObjects, RefusesClippingAndRotationInThatOrder) {
    struct Case {
        const char* name;
        fx::Page page;
        std::optional<int> inherited_rotate;
        std::string expected;
    };
    auto rotated = [](int degrees, std::string content = "") {
        fx::Page page = page_with(std::move(content));
        page.rotate = degrees;
        return page;
    };
    fx::Page clip_in_form = page_with(fx::draw_form(0));
    clip_in_form.forms.push_back({{0, 0, 100, 100}, "10 10 50 50 re W n 0 0 100 100 re f\n"});
    const Case cases[] = {
        {"clip that touches nothing", page_with("q 150 150 10 10 re W n Q 0 0 20 20 re f\n"), {}, CLIPPED},
        {"even-odd clip", page_with("10 10 50 50 re W* n\n"), {}, CLIPPED},
        {"own rotation", rotated(90), {}, ROTATED},
        {"negative rotation", rotated(-90), {}, ROTATED},
        {"inherited rotation", page_with(""), 180, ROTATED},
        {"clip and rotation", rotated(270, "10 10 50 50 re W n\n"), {}, CLIPPED},
        {"full turn", rotated(360), {}, fx::NO_REFUSAL},
        {"clip inside a form only", clip_in_form, {}, fx::NO_REFUSAL},
        {"W only inside a string", page_with(fx::text(20, 20, 12, "W W* n")), {}, fx::NO_REFUSAL},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(c.page, c.inherited_rotate), c.expected) << c.name;
}

TEST_F(PageObjects, APageWithoutContentHasNoObjects) {
    const std::filesystem::path bare = edited(write_page(folder, "page.pdf", page_with("")),
                                              [](QPDF&, QPDFObjectHandle page) { page.removeKey("/Contents"); });
    EXPECT_TRUE(page_objects(bare, 1, SIDE, SIDE).empty());
}

TEST_F(PageObjects, ListsAtMostTwoThousandTopLevelObjects) {
    struct Case {
        const char* name;
        std::string content;
        std::string expected;
    };
    const std::string unplaceable = unplaceable_path();
    const Case cases[] = {
        {"2000 objects", many_rects(2000), fx::NO_REFUSAL},
        {"2001 objects", many_rects(2001), TOO_MANY},
        {"an unplaceable 2000th object", many_rects(1999) + unplaceable, NO_POSITION},
        {"an unplaceable 2001st object", many_rects(2000) + unplaceable, TOO_MANY},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(page_with(c.content)), c.expected) << c.name;

    const std::vector<PageObjectRecord> records = list(page_with(many_rects(2000)));
    ASSERT_EQ(records.size(), 2000u);
    EXPECT_EQ(records.back().index, 1999);
}

TEST_F(PageObjects, CountsOneObjectPerPaintingOperator) {
    struct Case {
        const char* name;
        fx::Page page;
        std::vector<ObjectType> expected;
    };
    using T = ObjectType;
    fx::Page busy_form = image_page(fx::draw_form(0) + "0 0 5 5 re f\n");
    busy_form.forms.push_back(
        {{0, 0, 200, 200},
         many_rects(2500) + fx::text(10, 10, 12, "in form") + fx::draw_image(0, 20, 0, 0, 20, 30, 30)});
    fx::Page empty_form = page_with(fx::draw_form(0));
    empty_form.forms.push_back({{0, 0, 50, 50}, ""});
    fx::Page masked_image = page_with(square_image());
    masked_image.images.push_back(fx::checkerboard(4, 4));
    masked_image.images.back().alpha.assign(16, 128);
    const Case cases[] = {
        {"filled and stroked path", page_with("1 0 0 rg 10 10 50 50 re B\n"), {T::path}},
        {"two strings in one text object",
         page_with("BT /F1 12 Tf 20 20 Td (left) Tj 100 0 Td (right) Tj ET\n"),
         {T::text, T::text}},
        {"kerned string", page_with("BT /F1 12 Tf 20 20 Td [(A) -200 (V)] TJ ET\n"), {T::text}},
        {"invisible text", page_with("BT /F1 12 Tf 3 Tr 20 20 Td (hidden) Tj ET\n"), {T::text}},
        {"text that only clips", page_with("BT /F1 12 Tf 7 Tr 20 20 Td (clip) Tj ET\n"), {T::text}},
        {"form with 2500 objects, text and an image, then a path", busy_form, {T::form, T::path}},
        {"form that draws nothing", empty_form, {T::form}},
        {"image with a soft mask", masked_image, {T::image}},
        {"nothing painted", page_with("q 2 0 0 2 0 0 cm 10 10 m 20 20 l Q\n"), {}},
    };
    for (const Case& c : cases) {
        const std::vector<PageObjectRecord> records = list(c.page);
        EXPECT_EQ(types(records), c.expected) << c.name;
        for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].index, int(i)) << c.name;
    }
}

TEST_F(PageObjects, PatternFillsCountAsTheShapeTheyFill) {
    struct Case {
        const char* name;
        std::string content;
        ObjectType type;
        Bounds bounds;
    };
    const Case cases[] = {
        {"tiled fill", "/Pattern cs /Small scn 20 20 100 50 re f\n", ObjectType::path, {20, 20, 120, 70}},
        {"one large cell", "/Pattern cs /Large scn 20 20 100 50 re f\n", ObjectType::path, {20, 20, 120, 70}},
        {"shading fill", "/Pattern cs /Shade scn 20 20 100 50 re f\n", ObjectType::path, {20, 20, 120, 70}},
        {"tiled stroke", "/Pattern CS /Small SCN 4 w 20 20 100 50 re S\n", ObjectType::path, {18, 18, 122, 72}},
        {"tiled fill and plain stroke",
         "/Pattern cs /Small scn 1 w 20 20 100 50 re B\n",
         ObjectType::path,
         {19.5, 19.5, 120.5, 70.5}},
        {"unbounded shading covers the page", "/Sh sh\n", ObjectType::shading, {0, 0, 200, 200}},
    };
    for (const Case& c : cases) {
        const std::vector<PageObjectRecord> records =
            page_objects(edited(write_page(folder, "page.pdf", page_with(c.content)), add_patterns), 1, SIDE, SIDE);
        ASSERT_EQ(records.size(), 1u) << c.name;
        EXPECT_EQ(records[0].type, c.type) << c.name;
        EXPECT_EQ(records[0].bounds, c.bounds) << c.name;
    }
}

TEST_F(PageObjects, FormBoundsCoverWhatItDrawsAndAnEmptyFormSitsAtItsOrigin) {
    fx::Page page =
        page_with("q 1 0 0 1 30 40 cm " + fx::draw_form(0) + "Q q 1 0 0 1 120 130 cm " + fx::draw_form(1) + "Q\n");
    page.forms.push_back({{0, 0, 200, 200}, "10 10 20 20 re f 50 60 10 5 re f\n"});
    page.forms.push_back({{0, 0, 50, 50}, ""});
    const std::vector<PageObjectRecord> records = list(page);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].bounds, (Bounds{40, 50, 90, 105}));
    EXPECT_EQ(records[1].bounds, (Bounds{120, 130, 120, 130}));
}

TEST_F(PageObjects, MapsBoundsOntoTheTrimmedPageImage) {
    struct Case {
        const char* name;
        fx::Page page;
        int height, width;
        Bounds bounds;
        Box box;
    };
    fx::Page trimmed = page_with(fx::fill_rect({50, 50, 150, 150}, 0, 0, 0));
    trimmed.media = {0, 0, 300, 300};
    trimmed.trim = fx::Rect{50, 50, 250, 250};
    const Case cases[] = {
        {"square",
         page_with(fx::fill_rect({50, 50, 150, 150}, 0, 0, 0)),
         SIDE,
         SIDE,
         {50, 50, 150, 150},
         {100, 100, 300, 300}},
        {"rounded outwards",
         page_with(fx::fill_rect({10.25, 20.75, 30.5, 40.25}, 0, 0, 0)),
         SIDE,
         SIDE,
         {10.25, 20.75, 30.5, 40.25},
         {20, 319, 61, 359}},
        {"trim box away from the origin", trimmed, SIDE, SIDE, {50, 50, 150, 150}, {0, 200, 200, 400}},
        {"each axis its own scale",
         page_with(fx::fill_rect({50, 50, 150, 150}, 0, 0, 0)),
         200,
         SIDE,
         {50, 50, 150, 150},
         {100, 50, 300, 150}},
        // A stroke adds half its width; mitred square corners exactly that much.
        {"stroked square", page_with("2 w 50 50 100 100 re S\n"), SIDE, SIDE, {49, 49, 151, 151}, {98, 98, 302, 302}},
        {"hairline",
         page_with(fx::stroke_line(100, 20, 100, 180, 0)),
         SIDE,
         SIDE,
         {100, 20, 100, 180},
         {200, 40, 200, 360}},
    };
    for (const Case& c : cases) {
        const std::vector<PageObjectRecord> records = list(c.page, {}, c.height, c.width);
        ASSERT_EQ(records.size(), 1u) << c.name;
        EXPECT_EQ(records[0].bounds, c.bounds) << c.name;
        EXPECT_EQ(records[0].box, c.box) << c.name;
    }
}

TEST_F(PageObjects, ObjectsOffThePageKeepEmptyBoxes) {
    const std::vector<PageObjectRecord> records =
        list(page_with(fx::fill_rect({-50, 50, -10, 60}, 0, 0, 0) + fx::fill_rect({210, 50, 250, 60}, 0, 0, 0) +
                       fx::fill_rect({50, 210, 60, 250}, 0, 0, 0) + fx::fill_rect({50, -50, 60, -10}, 0, 0, 0)));
    ASSERT_EQ(records.size(), 4u);
    for (const PageObjectRecord& r : records)
        EXPECT_TRUE(r.box[2] <= r.box[0] || r.box[3] <= r.box[1]) << "object " << r.index;
}

TEST_F(PageObjects, OnlyUpright_UnmirroredImagesAreSimple) {
    struct Case {
        const char* name;
        std::string content;
        bool simple;
    };
    const Case cases[] = {
        {"upright", fx::draw_image(0, 100, 0, 0, 100, 50, 50), true},
        {"scaled unevenly", fx::draw_image(0, 100, 0, 0, 30, 50, 50), true},
        {"mirrored left to right", fx::draw_image(0, -100, 0, 0, 100, 150, 50), false},
        {"upside down", fx::draw_image(0, 100, 0, 0, -100, 50, 150), false},
        {"quarter turn", fx::draw_image(0, 0, 100, -100, 0, 150, 50), false},
        {"slightly skewed", fx::draw_image(0, 100, 0, 0.01, 100, 50, 50), false},
    };
    for (const Case& c : cases) {
        const std::vector<PageObjectRecord> records = list(image_page(c.content));
        ASSERT_EQ(records.size(), 1u) << c.name;
        EXPECT_EQ(records[0].type, ObjectType::image) << c.name;
        EXPECT_EQ(records[0].simple, c.simple) << c.name;
    }

    fx::Page in_form = image_page(fx::draw_form(0));
    in_form.forms.push_back({{0, 0, 200, 200}, square_image()});
    const std::vector<PageObjectRecord> records = list(in_form);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].simple) << "an image inside a form is part of the form";
}

}  // namespace
