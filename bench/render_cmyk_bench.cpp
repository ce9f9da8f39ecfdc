// Times render_pdf at 300 dpi on an RGB-only page and on a CMYK-heavy page, each with our
// CMYK conversion in front of MuPDF's draw device and with MuPDF's draw device alone.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/plain_drawing.hpp"
#include "engine/render.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;

namespace {

double elapsed_ms(const std::function<void()>& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A smooth photo-like image with 3 or 4 components.
fx::Image photo(int width, int height, int components) {
    fx::Image image;
    image.width = width;
    image.height = height;
    image.components = components;
    image.samples.resize(std::size_t(width) * std::size_t(height) * std::size_t(components));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p =
                &image.samples[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(components)];
            const double v = 0.5 + 0.25 * std::sin(x * 0.013) * std::cos(y * 0.021) + 0.2 * std::sin((x + y) * 0.004);
            p[0] = static_cast<unsigned char>(std::clamp(255 * v, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(255 * (1 - v) * 0.9, 0.0, 255.0));
            p[2] = static_cast<unsigned char>((x * 7 + y * 3) % 256);
            if (components == 4) p[3] = static_cast<unsigned char>(std::clamp(255 * (v - 0.3), 0.0, 255.0));
        }
    return image;
}

std::string line_of_text(int line) {
    return "Item " + std::to_string(100 + line) + "  Premium paper, 210 x 297 mm, price 1280 yen";
}

fx::Page rgb_page() {
    fx::Page page;
    std::string c =
        fx::fill_rect({0, 780, 595.276, 841.89}, 0.1, 0.2, 0.45) + fx::text(40, 800, 24, "Spring Catalogue 2027", 1);
    for (int line = 0; line < 30; ++line) c += fx::text(40, 740 - line * 13.5, 9, line_of_text(line));
    for (int i = 0; i < 12; ++i) c += fx::stroke_line(40, 330 - i * 4.0, 555, 330 - i * 4.0, 0.25, 0.3);
    c +=
        fx::fill_rect({400, 380, 555, 480}, 0.9, 0.1, 0.1) + "q 40 300 m 555 300 l 555 340 l 40 340 l h W n /Sh sh Q\n";
    c += fx::draw_image(0, 340, 0, 0, 255, 40, 40);
    page.images.push_back(photo(1500, 1125, 3));
    page.content = c;
    return page;
}

fx::Page cmyk_page() {
    fx::Page page;
    std::string c =
        "0.6 0.4 0.4 1 k 0 780 595.276 61.89 re f 0 0 0 0 k BT /F1 24 Tf 40 800 Td (Spring Catalogue 2027) Tj ET\n";
    for (int line = 0; line < 30; ++line)
        c += std::string(line % 2 ? "0 0 0 1 k" : "0.5 0.5 0.5 1 k") + " BT /F1 9 Tf 40 " +
             std::to_string(740 - line * 13.5) + " Td (" + line_of_text(line) + ") Tj ET\n";
    for (int i = 0; i < 12; ++i)
        c += "0 0 0 1 K 0.25 w 40 " + std::to_string(330 - i * 4) + " m 555 " + std::to_string(330 - i * 4) + " l S\n";
    c += "0 0.9 0.8 0.2 k 400 380 155 100 re f 0.7 0.6 0.5 0.9 k 400 500 155 60 re f\n";
    c += "q 0 300 m 595 300 l 595 560 l 0 560 l h W n /Sh sh Q\n";  // a gradient behind half the page
    c += fx::draw_image(0, 340, 0, 0, 255, 40, 40);
    page.images.push_back(photo(1500, 1125, 4));
    page.content = c;
    return page;
}

void write_with_shading(const fx::Page& page, const std::string& shading, const std::filesystem::path& path) {
    fx::write_pdf(fx::many_pages(1, page), path);
    QPDF pdf;
    pdf.processFile(path.c_str());
    auto resources = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle().getKey("/Resources");
    resources.replaceKey("/Shading", QPDFObjectHandle::parse("<< /Sh " + shading + " >>"));
    const std::string written = path.string() + ".new";
    QPDFWriter writer(pdf, written.c_str());
    writer.write();
    std::filesystem::rename(written, path);
}

}  // namespace

int main() {
    fx::TempFolder folder;
    const auto rgb = folder.path() / "rgb.pdf", cmyk = folder.path() / "cmyk.pdf";
    write_with_shading(rgb_page(),
                       "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [40 0 555 0] /Function << /FunctionType 2 "
                       "/Domain [0 1] /C0 [1 0.9 0.2] /C1 [0.1 0.2 0.6] /N 1 >> >>",
                       rgb);
    write_with_shading(cmyk_page(),
                       "<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [0 300 595 560] /Function << /FunctionType 2 "
                       "/Domain [0 1] /C0 [0.1 0 0.3 0] /C1 [0.6 0.4 0.4 1] /N 1 >> >>",
                       cmyk);

    const int runs = 9;
    std::printf("render_pdf at 300 dpi, median of %d runs\n", runs);
    std::printf("%-12s %14s %18s %8s\n", "page", "MuPDF alone", "with conversion", "change");
    for (const auto& [name, path] : {std::pair{"RGB only", rgb}, {"CMYK-heavy", cmyk}}) {
        tesmira::engine::render_pdf(path, 1, 300);  // warm the caches once
        // Alternating, so that a busy machine slows both alike.
        std::vector<double> plain_times, our_times;
        for (int i = 0; i < runs; ++i) {
            {
                tesmira::engine::PlainDrawing plain_drawing;
                plain_times.push_back(elapsed_ms([&] { tesmira::engine::render_pdf(path, 1, 300); }));
            }
            our_times.push_back(elapsed_ms([&] { tesmira::engine::render_pdf(path, 1, 300); }));
        }
        const double plain = median(plain_times), ours = median(our_times);
        std::printf("%-12s %11.1f ms %15.1f ms %+7.1f %%\n", name, plain, ours, 100 * (ours / plain - 1));
    }
}
