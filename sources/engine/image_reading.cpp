#include "engine/image_reading.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "png/chunks.hpp"

namespace tesmira::engine {
namespace {

std::string file_error(const std::filesystem::path& path) { return path.string() + ": " + std::strerror(errno); }

// A grey, BGR or BGRA image converted by the code of its kind; `what` names the image in the
// refusal of any other kind.
cv::Mat converted(const cv::Mat& image, std::array<int, 3> grey_bgr_bgra, const std::filesystem::path& path,
                  const char* what) {
    const int channels = image.channels();
    if (channels != 1 && channels != 3 && channels != 4)
        throw std::runtime_error(path.string() + ": unsupported " + what);
    cv::Mat out;
    cv::cvtColor(image, out, grey_bgr_bgra[channels == 1 ? 0 : channels == 3 ? 1 : 2]);
    return out;
}

}  // namespace

cv::Mat read_image(const std::filesystem::path& path) {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) throw std::runtime_error(file_error(path));
    cv::Mat image = cv::imread(path.string(), cv::IMREAD_UNCHANGED);
    if (image.empty()) throw std::runtime_error(path.string() + ": cannot identify image file");
    if (image.depth() == CV_16U) image.convertTo(image, CV_8U, 1.0 / 257.0);
    return image;
}

cv::Mat read_flattened_rgb(const std::filesystem::path& path) {
    const std::optional<png::PngHeader> header = png::probe_header(path);
    const cv::Mat source = read_image(path);
    // Only a true RGBA image is composited; other kinds of transparency are dropped.
    const bool rgba = source.channels() == 4 && (!header || header->colour_type == 6);
    cv::Mat rgb;
    if (rgba) {
        rgb.create(source.size(), CV_8UC3);
        for (int r = 0; r < source.rows; ++r) {
            const cv::Vec4b* in = source.ptr<cv::Vec4b>(r);
            cv::Vec3b* out = rgb.ptr<cv::Vec3b>(r);
            for (int c = 0; c < source.cols; ++c) {
                const int a = in[c][3];
                for (int ch = 0; ch < 3; ++ch)  // BGRA in, RGB out
                    out[c][ch] = uchar((in[c][2 - ch] * a + 255 * (255 - a) + 127) / 255);
            }
        }
        return rgb;
    }
    return converted(source, {cv::COLOR_GRAY2RGB, cv::COLOR_BGR2RGB, cv::COLOR_BGRA2RGB}, path, "image");
}

cv::Mat read_rgba(const std::filesystem::path& path) {
    return converted(
        read_image(path), {cv::COLOR_GRAY2RGBA, cv::COLOR_BGR2RGBA, cv::COLOR_BGRA2RGBA}, path, "stamp image");
}

}  // namespace tesmira::engine
