#pragma once
#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

#include "common/json.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// Binds result images, encoded in memory, into one flat PDF at the engine's pixel limit,
// written to the open file `descriptor`.
void images_to_pdf(const std::vector<std::string_view>& images, int descriptor, double dpi);

// The PDFs a run placed, and what its "complete" event says of them.
struct PlacedPdfs {
    std::vector<std::filesystem::path> paths;  // in link order: each source file's result PDF, then its strict PDF
    Json pages = Json::array();                // the page reports, naming the PDFs
    std::size_t files = 0;                     // the source files, one result PDF each
};

// Runs the whole comparison, binds each source file's page images into a result PDF (and a
// strict PDF with the noise pass on) as soon as its last page is compared, each written once,
// synced, into a hidden file in `root` (an existing folder, the run's partial result folder),
// and gives all PDFs their names in `root` by hard links at the end, all or none. `settings`
// are normalized. Sends "start" and the "progress" events; the run's "complete" is its
// caller's to send.
PlacedPdfs export_flat_pdfs(const std::vector<std::filesystem::path>& before,
                            const std::vector<std::filesystem::path>& after, const std::filesystem::path& root,
                            const Json& settings, const Progress& progress = emit);

}  // namespace tesmira::conductor
