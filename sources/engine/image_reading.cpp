#include "engine/image_reading.hpp"

#include <opencv2/imgproc.hpp>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "codecs/image_file.hpp"

namespace tesmira::engine {
namespace {

// The file decoded as it is stored; failures name the file.
codecs::DecodedImage read_image(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path.string() + ": " + std::strerror(errno));
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error(path.string() + ": " + std::strerror(errno));
    try {
        return codecs::decode_image(bytes);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(path.string() + ": " + error.what());
    }
}

// A grey, RGB or RGBA image converted by the code of its kind (none where it already has the
// channels asked for).
cv::Mat converted(const cv::Mat& image, std::array<int, 3> from_grey_rgb_rgba, int channels) {
    if (image.channels() == channels) return image;
    cv::Mat out;
    cv::cvtColor(image, out, from_grey_rgb_rgba[image.channels() == 1 ? 0 : image.channels() == 3 ? 1 : 2]);
    return out;
}

}  // namespace

cv::Mat read_flattened_rgb(const std::filesystem::path& path) {
    const codecs::DecodedImage source = read_image(path);
    // Only a true RGBA image is composited; other kinds of transparency are dropped.
    if (!source.rgba) return converted(source.pixels, {cv::COLOR_GRAY2RGB, -1, cv::COLOR_RGBA2RGB}, 3);
    cv::Mat rgb(source.pixels.size(), CV_8UC3);
    for (int r = 0; r < rgb.rows; ++r) {
        const cv::Vec4b* in = source.pixels.ptr<cv::Vec4b>(r);
        cv::Vec3b* out = rgb.ptr<cv::Vec3b>(r);
        for (int c = 0; c < rgb.cols; ++c) {
            const int a = in[c][3];
            for (int ch = 0; ch < 3; ++ch) out[c][ch] = uchar((in[c][ch] * a + 255 * (255 - a) + 127) / 255);
        }
    }
    return rgb;
}

cv::Mat read_rgba(const std::filesystem::path& path) {
    return converted(read_image(path).pixels, {cv::COLOR_GRAY2RGBA, cv::COLOR_RGB2RGBA, -1}, 4);
}

}  // namespace tesmira::engine
