#pragma once
#include <filesystem>
#include <utility>
#include <vector>

namespace tesmira::conductor {

using PdfPair = std::pair<std::filesystem::path, std::filesystem::path>;  // old, new

// Pairs old and new PDFs by document name (the NFC form of the file name, case kept);
// one file on each side pairs whatever the names. Pairs come in code point order of names.
std::vector<PdfPair> match_files(const std::vector<std::filesystem::path>& before,
                                 const std::vector<std::filesystem::path>& after);

}  // namespace tesmira::conductor
