#pragma once
#include <opencv2/core.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/display_names.hpp"

namespace tesmira::engine {

// The band's face (Noto Sans CJK JP, found through fontconfig) at one pixel size.
class BandFont : public TextMeasure {
public:
    explicit BandFont(int pixel_size);
    ~BandFont() override;
    BandFont(const BandFont&) = delete;
    BandFont& operator=(const BandFont&) = delete;

    double text_width(std::string_view utf8) const override;
    // Draws the text with its left end at x and the middle between ascender and descender at y.
    void draw_left_middle(cv::Mat& rgb, std::string_view utf8, double x, double y, cv::Vec3b colour) const;

    static std::string find_japanese_font_file();
    // A face for U+FFFD, which the band sets for each byte of a name that is not UTF-8 and the
    // Japanese face lacks; without one the character is that face's missing-glyph box.
    static std::optional<std::string> find_replacement_font_file();

private:
    struct Face;
    std::unique_ptr<Face> face_;
};

}  // namespace tesmira::engine
