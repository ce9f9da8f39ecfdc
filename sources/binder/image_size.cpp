#include "binder/image_size.hpp"

#include "binder/file_bytes.hpp"
#include "png/chunks.hpp"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <stdexcept>

namespace tesmira::binder {

ImageSize image_size(const std::filesystem::path& path) {
    std::ifstream file = open_for_reading(path);
    if (const auto header = png::read_png_header(file)) return {header->width, header->height};
    const cv::Mat image = cv::imread(path.string(), cv::IMREAD_UNCHANGED);
    if (image.empty()) throw std::runtime_error("cannot identify image file " + path.string());
    return {static_cast<std::uint32_t>(image.cols), static_cast<std::uint32_t>(image.rows)};
}

}  // namespace tesmira::binder
