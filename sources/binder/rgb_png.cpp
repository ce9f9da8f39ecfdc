#include "binder/rgb_png.hpp"

#include <opencv2/imgproc.hpp>

#include "codecs/image_file.hpp"
#include "png/encoder.hpp"

namespace tesmira::binder {

std::string encode_rgb_png(std::string_view image_bytes) {
    cv::Mat image = codecs::decode_image(image_bytes).pixels;
    if (image.channels() == 1) cv::cvtColor(image, image, cv::COLOR_GRAY2RGB);
    if (image.channels() == 4) cv::cvtColor(image, image, cv::COLOR_RGBA2RGB);
    return png::encode_png(image, 9);
}

}  // namespace tesmira::binder
