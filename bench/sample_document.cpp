#include "sample_document.hpp"

#include <qpdf/Buffer.hh>

#include <algorithm>
#include <cmath>
#include <string>

#include "fixtures/image_files.hpp"
#include "fixtures/resource_editor.hpp"

namespace tesmira::bench {
namespace {

namespace fx = tesmira::fixtures;

// A smooth photo in RGB, or in CMYK with a fourth, darker channel.
fx::Image photo(int width, int height, int seed, bool changed, int components = 3) {
    fx::Image image;
    image.width = width;
    image.height = height;
    image.components = components;
    const std::size_t n = std::size_t(components);
    image.samples.resize(std::size_t(width) * std::size_t(height) * n);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &image.samples[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * n];
            const double v =
                0.5 + 0.25 * std::sin((x + seed * 37) * 0.013) * std::cos(y * 0.021) + 0.2 * std::sin((x + y) * 0.004);
            p[0] = static_cast<unsigned char>(std::clamp(255 * v, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(255 * (1 - v) * 0.9, 0.0, 255.0));
            p[2] = static_cast<unsigned char>((x * 7 + y * 3 + seed * 11) % 256);
            if (components == 4) p[3] = static_cast<unsigned char>(std::clamp(255 * (v - 0.4), 0.0, 255.0));
        }
    if (changed)  // a retouched patch
        for (int y = height * 4 / 10; y < height * 4 / 10 + height / 28; ++y)
            for (int x = width / 2; x < width / 2 + width / 25; ++x)
                image.samples[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * n + 1] += 40;
    return image;
}

std::string item_line(int number, int line, bool changed) {
    std::string words = "Item " + std::to_string(number * 100 + line) + "  Premium paper, 210 x 297 mm, price ";
    return words + std::to_string(changed && line == 17 ? 1290 : 1280) + " yen";
}

}  // namespace

fx::Page catalogue_page(int number, bool changed, int photo_size) {
    fx::Page page;
    std::string c;
    c += fx::fill_rect({0, 780, 595.276, 841.89}, 0.1, 0.2, 0.45);
    c += fx::text(40, 800, 24, "Spring Catalogue 2027 - page " + std::to_string(number), 1);
    for (int line = 0; line < 30; ++line) c += fx::text(40, 740 - line * 13.5, 9, item_line(number, line, changed));
    for (int i = 0; i < 12; ++i) c += fx::stroke_line(40, 330 - i * 4.0, 555, 330 - i * 4.0, 0.25, 0.3);
    c += fx::fill_rect({400, 380, 555, 480}, 0.9, 0.1, 0.1);
    c += fx::stroke_line(400, changed ? 372 : 370, 555, changed ? 372 : 370, 1.0);
    if (changed) c += fx::fill_rect({300.2, 200.1, 301.0, 200.9}, 0, 0, 0);  // a tiny stray dot
    c += fx::draw_image(0, 340, 0, 0, 255, 40, 40);
    page.images.push_back(photo(photo_size, photo_size * 3 / 4, number, changed));
    page.content = c;
    return page;
}

fx::Page press_catalogue_page(int number, bool changed, int photo_size) {
    fx::Page page;
    std::string c;
    c += fx::fill_rect_cmyk({0, 780, 595.276, 841.89}, 0.6, 0.4, 0.4, 1);
    c += "0 0 0 0 k BT /F1 24 Tf 40 800 Td (Spring Catalogue 2027 - page " + std::to_string(number) + ") Tj ET\n";
    c += "q /Overprint gs 0 0 0 1 k\n";
    for (int line = 0; line < 30; ++line)
        c += "BT /F1 9 Tf 40 " + std::to_string(740 - line * 13.5) + " Td (" + item_line(number, line, changed) +
             ") Tj ET\n";
    c += "Q\n";
    for (int i = 0; i < 12; ++i)
        c +=
            "0 0 0 0.3 K 0.25 w 40 " + std::to_string(330 - i * 4) + " m 555 " + std::to_string(330 - i * 4) + " l S\n";
    c += "/Spot cs " + std::string(changed ? "0.9" : "1") + " scn 400 380 155 100 re f\n";
    c += "/Spot CS 1 SCN 1 w 400 " + std::string(changed ? "372" : "370") + " m 555 " +
         std::string(changed ? "372" : "370") + " l S\n";
    c += "/Spot2 cs 0.6 scn 400 500 155 40 re f\n";
    if (changed) c += fx::fill_rect_cmyk({300.2, 200.1, 301.0, 200.9}, 0, 0, 0, 1);  // a tiny stray dot
    c += fx::draw_image(0, 340, 0, 0, 255, 40, 40);
    c += "q /Overprint gs 0 0 1 0 k BT /F1 30 Tf 60 60 Td (NEW) Tj ET Q\n";
    page.images.push_back(photo(photo_size, photo_size * 3 / 4, number, changed, 4));
    page.content = c;
    return page;
}

void add_press_resources(const std::filesystem::path& pdf) {
    fx::ResourceEditor editor(pdf);
    for (int page = 0; page < editor.page_count(); ++page) {
        editor.add("/ExtGState", "/Overprint", "<< /OP true /op true /OPM 1 >>", page);
        editor.add("/ColorSpace",
                   "/Spot",
                   "[/Separation /PANTONE#20185#20C /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
                   "/C1 [0 0.91 0.76 0] /N 1 >>]",
                   page);
        editor.add("/ColorSpace",
                   "/Spot2",
                   "[/Separation /PANTONE#20300#20C /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
                   "/C1 [1 0.44 0 0] /N 1 >>]",
                   page);
    }
    editor.save();
}

void use_jpeg_photos(const std::filesystem::path& pdf, int quality) {
    fx::ResourceEditor editor(pdf);
    for (int page = 0; page < editor.page_count(); ++page) {
        QPDFObjectHandle photo = editor.get("/XObject", "/Im0", page);
        QPDFObjectHandle dict = photo.getDict();
        const int components = dict.getKey("/ColorSpace").getName() == "/DeviceCMYK" ? 4 : 3;
        const std::shared_ptr<Buffer> samples = photo.getStreamData(qpdf_dl_generalized);
        const std::string jpeg = fx::image_files::jpeg_file(
            int(dict.getKey("/Width").getIntValue()),
            int(dict.getKey("/Height").getIntValue()),
            components,
            std::string_view(reinterpret_cast<const char*>(samples->getBuffer()), samples->getSize()),
            quality);
        // Adobe's CMYK JPEGs store the inks inverted; /Decode turns them back.
        photo.replaceStreamData(jpeg, QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());
        if (components == 4) dict.replaceKey("/Decode", QPDFObjectHandle::parse("[1 0 1 0 1 0 1 0]"));
    }
    editor.save();
}

}  // namespace tesmira::bench
