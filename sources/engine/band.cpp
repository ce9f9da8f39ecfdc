#include "engine/band.hpp"

#include <opencv2/imgproc.hpp>

#include "common/rounding.hpp"
#include "engine/display_names.hpp"
#include "engine/font.hpp"
#include "engine/image_reading.hpp"
#include "engine/limits.hpp"

namespace tesmira::engine {
namespace {

const cv::Vec3b TEXT_COLOUR(70, 70, 70);
const cv::Scalar RULE_COLOUR(225, 225, 225);
const std::string FIELD_SEPARATOR = "\u3000";

int scaled(double base, double s) { return int(round_to_int(base * s)); }

// Pastes an RGBA image with its own alpha as the mask.
void paste_with_alpha(cv::Mat& canvas, const cv::Mat& rgba, int x0, int y0) {
    for (int r = 0; r < rgba.rows; ++r) {
        const int y = y0 + r;
        if (y < 0 || y >= canvas.rows) continue;
        const cv::Vec4b* src = rgba.ptr<cv::Vec4b>(r);
        cv::Vec3b* dst = canvas.ptr<cv::Vec3b>(y);
        for (int c = 0; c < rgba.cols; ++c) {
            const int x = x0 + c;
            if (x < 0 || x >= canvas.cols) continue;
            const int a = src[c][3];
            for (int ch = 0; ch < 3; ++ch) dst[x][ch] = uchar((src[c][ch] * a + dst[x][ch] * (255 - a) + 127) / 255);
        }
    }
}

// The stamp scaled to the band: 294 px wide at 144 dpi, at most as wide as the room between
// the margins `m`; empty without a stamp.
cv::Mat scaled_stamp(const BandSettings& settings, double s, int width, int m) {
    if (!settings.stamp) return cv::Mat();
    const cv::Mat source =
        read_rgba(ROOT() / (settings.web_stamp ? "references/mark_tesmira.png" : "references/install-brand/stamp.png"));
    const int stamp_width = std::min(scaled(294, s), width - 2 * m);
    const int stamp_height = std::max(1, int(round_to_int(double(source.rows) * stamp_width / double(source.cols))));
    cv::Mat stamp;
    cv::resize(source, stamp, cv::Size(stamp_width, stamp_height), 0, 0, cv::INTER_LANCZOS4);
    return stamp;
}

}  // namespace

cv::Mat information_band(int width, const BandSettings& settings, const TokyoTime& created_at) {
    const double s = settings.dpi / 144.0;
    const int W = width;
    const int m = scaled(8, s);
    const BandFont font(scaled(14, s));

    const std::vector<std::string> fields = {
        "変更前: " + settings.before_name,
        "変更後: " + settings.after_name,
        "検版日時: " + format_time(created_at, "%Y/%m/%d %H:%M:%S") + " JST",
    };
    const std::string joined = fields[0] + FIELD_SEPARATOR + fields[1] + FIELD_SEPARATOR + fields[2];

    const cv::Mat stamp = scaled_stamp(settings, s, W, m);
    const bool with_stamp = settings.stamp;
    const int k = with_stamp ? 3 : 2;
    const int r = scaled(24, s);

    const bool one_line = font.text_width(joined) + 2 <= double(W - stamp.cols - k * m);
    const std::vector<std::string> lines =
        one_line ? std::vector<std::string>{joined} : wrap_identity_fields(fields, font, double(W - 2 * m));
    const int header_height = one_line ? 2 * m + std::max(stamp.rows, r) : k * m + stamp.rows + r * int(lines.size());

    // Text and stamp are drawn into the band only, so nothing spills over the image below.
    cv::Mat band(header_height, W, CV_8UC3, cv::Scalar(255, 255, 255));
    if (with_stamp) paste_with_alpha(band, stamp, m, one_line ? (header_height - stamp.rows) / 2 : m);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (one_line)
            font.draw_left_middle(
                band, lines[i], with_stamp ? 2 * m + stamp.cols : m, header_height / 2.0, TEXT_COLOUR);
        else
            font.draw_left_middle(
                band, lines[i], m, (with_stamp ? 2 : 1) * m + stamp.rows + (double(i) + 0.5) * r, TEXT_COLOUR);
    }
    cv::line(band, cv::Point(m, header_height - 1), cv::Point(W - m, header_height - 1), RULE_COLOUR, 1);
    return band;
}

AnnotatedImage annotate_result(const cv::Mat& array, const BandSettings& settings, const TokyoTime& created_at) {
    CV_Assert(array.type() == CV_8UC3);
    AnnotatedImage out;
    const cv::Mat band = information_band(array.cols, settings, created_at);
    out.header_height = band.rows;
    cv::vconcat(band, array, out.canvas);
    return out;
}

}  // namespace tesmira::engine
