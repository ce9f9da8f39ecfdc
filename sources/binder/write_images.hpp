#pragma once
#include <filesystem>
#include <vector>

namespace tesmira::binder {

// Writes one PDF page per image, in list order, each page the image's size at `dpi` and filled
// by it. An image of more than `max_pixels` pixels is refused with a UserError. Nothing touches
// `destination` until every image is embedded, so a refusal leaves no file and no truncation.
void write_images(const std::vector<std::filesystem::path>& images, const std::filesystem::path& destination,
                  double dpi, long long max_pixels);

}  // namespace tesmira::binder
