#pragma once
#include <filesystem>
#include <vector>

#include "common/json.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// Binds the image files into one flat PDF at the engine's pixel limit.
void images_to_pdf(const std::vector<std::filesystem::path>& images, const std::filesystem::path& destination,
                   double dpi);

// Runs the whole comparison in a private temporary folder, binds each source file's page
// images into a result PDF (and a strict PDF with the noise pass on) and places all PDFs in
// `output_root` by hard links, all or none. Returns the placed PDFs in link order.
std::vector<std::filesystem::path> export_flat_pdfs(const std::vector<std::filesystem::path>& before,
                                                    const std::vector<std::filesystem::path>& after,
                                                    const std::filesystem::path& output_root, const Json& settings,
                                                    const Progress& progress = emit);

}  // namespace tesmira::conductor
