#include "sample_document.hpp"

#include <algorithm>
#include <cmath>
#include <string>

namespace tesmira::bench {
namespace {

namespace fx = tesmira::fixtures;

fx::Image photo(int width, int height, int seed, bool changed) {
    fx::Image image;
    image.width = width;
    image.height = height;
    image.samples.resize(std::size_t(width) * std::size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &image.samples[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3];
            const double v = 0.5 + 0.25 * std::sin((x + seed * 37) * 0.013) * std::cos(y * 0.021) +
                             0.2 * std::sin((x + y) * 0.004);
            p[0] = static_cast<unsigned char>(std::clamp(255 * v, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(255 * (1 - v) * 0.9, 0.0, 255.0));
            p[2] = static_cast<unsigned char>((x * 7 + y * 3 + seed * 11) % 256);
        }
    if (changed)  // a retouched patch
        for (int y = height * 4 / 10; y < height * 4 / 10 + height / 28; ++y)
            for (int x = width / 2; x < width / 2 + width / 25; ++x)
                image.samples[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + 1] += 40;
    return image;
}

}  // namespace

fx::Page catalogue_page(int number, bool changed, int photo_size) {
    fx::Page page;
    std::string c;
    c += fx::fill_rect({0, 780, 595.276, 841.89}, 0.1, 0.2, 0.45);
    c += fx::text(40, 800, 24, "Spring Catalogue 2027 - page " + std::to_string(number), 1);
    for (int line = 0; line < 30; ++line) {
        std::string words = "Item " + std::to_string(number * 100 + line) + "  Premium paper, 210 x 297 mm, price ";
        words += std::to_string(changed && line == 17 ? 1290 : 1280) + " yen";
        c += fx::text(40, 740 - line * 13.5, 9, words);
    }
    for (int i = 0; i < 12; ++i) c += fx::stroke_line(40, 330 - i * 4.0, 555, 330 - i * 4.0, 0.25, 0.3);
    c += fx::fill_rect({400, 380, 555, 480}, 0.9, 0.1, 0.1);
    c += fx::stroke_line(400, changed ? 372 : 370, 555, changed ? 372 : 370, 1.0);
    if (changed) c += fx::fill_rect({300.2, 200.1, 301.0, 200.9}, 0, 0, 0);  // a tiny stray dot
    c += fx::draw_image(0, 340, 0, 0, 255, 40, 40);
    page.images.push_back(photo(photo_size, photo_size * 3 / 4, number, changed));
    page.content = c;
    return page;
}

}  // namespace tesmira::bench
