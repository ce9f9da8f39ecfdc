// Images as a file declares them, read before anything is decoded: where a page can draw them
// from, and the sizes that the headers of JPEG 2000, JPEG and JBIG2 data declare.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/pdf_builder.hpp"
#include "fixtures/resource_editor.hpp"
#include "fixtures/temp_folder.hpp"
#include "pdf/image_headers.hpp"
#include "pdf/page_images.hpp"

namespace fx = tesmira::fixtures;
using namespace tesmira::pdf;

namespace {

std::string be(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += char((value >> (8 * i)) & 0xFF);
    return out;
}

std::string codestream(std::uint32_t width, std::uint32_t height, int components) {
    std::string siz = "\xFF\x4F\xFF\x51" + be(38 + 3 * components, 2) + be(0, 2) + be(width + 2, 4) +
                      be(height + 1, 4) + be(2, 4) + be(1, 4) + be(width, 4) + be(height, 4) + be(0, 4) + be(0, 4) +
                      be(components, 2);
    for (int c = 0; c < components; ++c) siz += std::string("\x07\x01\x01", 3);
    return siz + "\xFF\x52";
}

std::string box(const std::string& type, const std::string& contents) {
    return be(8 + contents.size(), 4) + type + contents;
}

std::string jpeg(int frame_marker, std::uint16_t width, std::uint16_t height, int components) {
    return std::string("\xFF\xD8\xFF\xE0", 4) + be(16, 2) + std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14) + "\xFF\xFF" +
           char(0xFF) + char(frame_marker) + be(8 + 3 * components, 2) + char(8) + be(height, 2) + be(width, 2) +
           char(components) + std::string(3 * components, '\x11');
}

std::string jbig2_segment(std::uint32_t number, int type, const std::string& data) {
    return be(number, 4) + char(type) + char(0) + char(1) + be(data.size(), 4) + data;
}

}  // namespace

TEST(ImageHeaders, DeclareTheSizeTheirDecodersAllocate) {
    struct Case {
        const char* name;
        std::optional<HeaderSize> (*read)(std::string_view);
        std::string data;
        std::optional<HeaderSize> expected;
    } cases[] = {
        {"a bare JPEG 2000 codestream, its offsets taken off",
         jpeg2000_size,
         codestream(20000, 30000, 3),
         HeaderSize{20000, 30000, 3}},
        {"a JP2 file: the larger of its header box and its codestream",
         jpeg2000_size,
         be(12, 4) + "jP  " + be(0x0D0A870A, 4) +
             box("jp2h", box("ihdr", be(100, 4) + be(200, 4) + be(3, 2) + std::string(4, '\0'))) +
             box("jp2c", codestream(4000, 5000, 1)),
         HeaderSize{4000, 5000, 3}},
        {"JPEG 2000 that is none", jpeg2000_size, "not a codestream", std::nullopt},
        {"a baseline JPEG after its APP0 and fill bytes", jpeg_size, jpeg(0xC0, 640, 480, 3), HeaderSize{640, 480, 3}},
        {"a progressive JPEG of the largest size", jpeg_size, jpeg(0xC2, 65535, 65535, 4), HeaderSize{65535, 65535, 4}},
        {"a JPEG cut before its frame", jpeg_size, jpeg(0xC0, 640, 480, 3).substr(0, 22), std::nullopt},
        {"JBIG2: the larger of its page and its regions",
         jbig2_size,
         jbig2_segment(0, 48, be(300, 4) + be(400, 4) + std::string(11, '\0')) +
             jbig2_segment(1, 38, be(5000, 4) + be(100, 4) + std::string(10, '\0')),
         HeaderSize{5000, 100, 1}},
        {"JBIG2 of a striped page, its height left open",
         jbig2_size,
         jbig2_segment(0, 48, be(4'000'000'000ULL, 4) + be(0xFFFFFFFF, 4) + std::string(11, '\0')),
         HeaderSize{4'000'000'000LL, 0, 1}},
    };
    for (const Case& c : cases) {
        const std::optional<HeaderSize> size = c.read(c.data);
        ASSERT_EQ(size.has_value(), c.expected.has_value()) << c.name;
        if (!size) continue;
        EXPECT_EQ(size->width, c.expected->width) << c.name;
        EXPECT_EQ(size->height, c.expected->height) << c.name;
        EXPECT_EQ(size->components, c.expected->components) << c.name;
    }
}

TEST(DeclaredImages, EveryImageThePageCanDrawIsFoundOnce) {
    fx::TempFolder folder;
    const auto path = folder.path() / "page.pdf";
    fx::Page page;
    page.media = {0, 0, 100, 100};
    page.images.push_back(fx::solid_image(11, 1, {0}));  // drawn from the page and from a form
    fx::Image masked = fx::solid_image(12, 1, {0, 0, 0});
    masked.alpha.assign(12, 128);  // its soft mask is an image of its own
    page.images.push_back(masked);
    page.forms.push_back({{0, 0, 10, 10}, "/Im0 Do /Fm1 Do"});
    page.forms.push_back({{0, 0, 10, 10}, "/Fm0 Do"});  // the two forms draw each other
    page.content =
        "/Im0 Do /Fm0 Do q 10 0 0 10 0 0 cm BI /W 13 /H 2 /CS /G /BPC 8 ID " + std::string(26, 'x') + " EI Q";
    fx::write_pdf(fx::many_pages(1, page), path);
    {
        fx::ResourceEditor e(path);
        auto image = [&](int width, const char* extra) {
            return e.stream("<< /Type /XObject /Subtype /Image /Width " + std::to_string(width) +
                                " /Height 1 /ColorSpace /DeviceCMYK /BitsPerComponent 8" + extra + " >>",
                            std::string(std::size_t(width) * 4, '\0'));
        };
        auto resources_with = [&](const char* name, QPDFObjectHandle xobject) {
            auto resources = QPDFObjectHandle::newDictionary();
            auto xobjects = QPDFObjectHandle::newDictionary();
            xobjects.replaceKey(name, xobject);
            resources.replaceKey("/XObject", xobjects);
            return resources;
        };
        auto pattern =
            e.stream("<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 1 1] /XStep 1 /YStep 1 >>", "/P0 Do");
        pattern.getDict().replaceKey("/Resources", resources_with("/P0", image(14, "")));
        e.add("/Pattern", "/Tiles", pattern);
        auto group = e.stream("<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] >>", "/G0 Do");
        group.getDict().replaceKey("/Resources", resources_with("/G0", image(15, "")));
        auto mask = QPDFObjectHandle::parse("<< /SMask << /Type /Mask /S /Luminosity >> >>");
        mask.getKey("/SMask").replaceKey("/G", group);
        e.add("/ExtGState", "/Masked", mask);
        auto type3 = QPDFObjectHandle::parse(
            "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1 1] /FontMatrix [1 0 0 1 0 0] /CharProcs << >> "
            "/Encoding << /Differences [65 /a] >> /FirstChar 65 /LastChar 65 /Widths [1] >>");
        type3.getKey("/CharProcs").replaceKey("/a", e.stream("<< >>", "1 0 d0 /T0 Do"));
        type3.replaceKey("/Resources", resources_with("/T0", image(16, "")));
        e.add("/Font", "/T3", type3);
        auto appearance = e.stream("<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] >>", "/A0 Do");
        appearance.getDict().replaceKey("/Resources", resources_with("/A0", image(17, "")));
        auto annotation = QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Stamp /Rect [0 0 10 10] /AP << >> >>");
        annotation.getKey("/AP").replaceKey("/N", appearance);
        e.page().replaceKey("/Annots", QPDFObjectHandle::newArray({annotation}));
        e.save();
    }
    QPDF pdf;
    pdf.processFile(path.c_str());
    QPDFPageObjectHelper first = QPDFPageDocumentHelper(pdf).getAllPages().at(0);
    std::vector<std::pair<long long, int>> found;  // width, components
    for (const DeclaredImage& image : declared_images(first)) found.emplace_back(image.width, image.components);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::pair<long long, int>>{
                  {11, 1}, {12, 1}, {12, 3}, {13, 1}, {14, 4}, {15, 4}, {16, 4}, {17, 4}}));
}
