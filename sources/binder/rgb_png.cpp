#include "binder/rgb_png.hpp"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <climits>
#include <stdexcept>
#include <vector>

namespace tesmira::binder {

std::string encode_rgb_png(std::string_view image_bytes) {
    if (image_bytes.size() > INT_MAX) throw std::runtime_error("image file too large to decode");
    // imdecode only reads its input; the Mat header merely wraps the bytes without copying.
    const cv::Mat raw(1, static_cast<int>(image_bytes.size()), CV_8UC1, const_cast<char*>(image_bytes.data()));
    // UNCHANGED keeps 16-bit samples and ignores EXIF orientation: the pixels as stored.
    cv::Mat image = cv::imdecode(raw, cv::IMREAD_UNCHANGED);
    if (image.empty()) throw std::runtime_error("cannot identify image file");

    if (image.depth() != CV_8U) image.convertTo(image, CV_8U, image.depth() == CV_16U ? 1.0 / 257 : 1.0);
    switch (image.channels()) {
        case 1:
            cv::cvtColor(image, image, cv::COLOR_GRAY2BGR);
            break;
        case 3:
            break;
        case 4:
            cv::cvtColor(image, image, cv::COLOR_BGRA2BGR);
            break;
        default:
            throw std::runtime_error("unsupported number of image channels");
    }

    // OpenCV holds colour as BGR and writes it to the PNG as RGB.
    std::vector<uchar> png;
    if (!cv::imencode(".png", image, png, {cv::IMWRITE_PNG_COMPRESSION, 9})) {
        throw std::runtime_error("cannot encode the image as PNG");
    }
    return {png.begin(), png.end()};
}

}  // namespace tesmira::binder
