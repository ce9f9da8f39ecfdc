#pragma once
#include <filesystem>
#include <string_view>
#include <vector>

namespace tesmira::binder {

// Writes one PDF page per image, in list order, each page the image's size at `dpi` and filled
// by it. An image of more than `max_pixels` pixels is refused with a UserError. Nothing touches
// `destination` until every image is embedded, so a refusal leaves no file and no truncation.
void write_images(const std::vector<std::filesystem::path>& images, const std::filesystem::path& destination,
                  double dpi, long long max_pixels);

// The same for images in memory, each the bytes of an image file (as a run's result images are
// encoded), written to the open file `descriptor` once every image is embedded; the caller
// syncs and closes it. Nothing is written before an image is refused.
void write_images(const std::vector<std::string_view>& images, int descriptor, double dpi, long long max_pixels);

}  // namespace tesmira::binder
