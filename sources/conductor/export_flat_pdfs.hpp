#pragma once
#include <cstddef>
#include <filesystem>
#include <vector>

#include "common/json.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// Binds the image files into one flat PDF at the engine's pixel limit.
void images_to_pdf(const std::vector<std::filesystem::path>& images, const std::filesystem::path& destination,
                   double dpi);

// The PDFs a run placed, and what its "complete" event says of them.
struct PlacedPdfs {
    std::vector<std::filesystem::path> paths;  // in link order: each source file's result PDF, then its strict PDF
    Json pages = Json::array();                // the page reports, naming the PDFs
    std::size_t files = 0;                     // the source files, one result PDF each
};

// Runs the whole comparison in a private temporary folder, binds each source file's page
// images into a result PDF (and a strict PDF with the noise pass on) and places all PDFs in
// `root` (an existing folder, the run's partial result folder) by hard links, all or none.
// `settings` are normalized. Sends "start" and the "progress" events; the run's "complete"
// is its caller's to send.
PlacedPdfs export_flat_pdfs(const std::vector<std::filesystem::path>& before,
                            const std::vector<std::filesystem::path>& after, const std::filesystem::path& root,
                            const Json& settings, const Progress& progress = emit);

}  // namespace tesmira::conductor
