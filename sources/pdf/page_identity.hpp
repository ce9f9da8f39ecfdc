#pragma once
// Pages proven to draw alike before either is drawn. A page draws from its own dictionary and
// everything that it references, resolved recursively, from the attributes it inherits through
// the page tree (/Resources, /MediaBox, /CropBox, /Rotate), and from the document's optional
// content (/OCProperties), form (/AcroForm) and output intents (/OutputIntents). A page's
// digest is SHA-256 over all of that, with every reference replaced by the digest of what it
// names, so that object numbers do not count, dictionaries taken in the order of their keys,
// streams by their dictionaries and raw bytes, and /Parent left out wherever it stands (what a
// page inherits is taken in by value). A reference back into what is being digested counts by
// how far back it points. Equal digests therefore mean equal drawings.

#include <array>
#include <filesystem>
#include <vector>

namespace tesmira::pdf {

using PageDigest = std::array<unsigned char, 32>;

// A page's digest, and whether its graph names inks: a CMYK, Separation or DeviceN colour space
// anywhere, or content (of the page, its forms and patterns) that draws in CMYK. A page without
// inks prints as it looks; one with them may print differently, which only drawing it tells.
struct PageProof {
    PageDigest digest{};
    bool inks = false;
};

// The proof of every page of a PDF, in page order; nothing when the file proves nothing: qpdf
// found it damaged (whatever it repaired, the renderer may have repaired otherwise), it could
// not be read, or its graph is too deep or too large to walk (beyond MAX_DIGEST_DEPTH
// references and nested objects, or MAX_DIGEST_OBJECTS objects).
std::vector<PageProof> page_proofs(const std::filesystem::path& pdf);

inline constexpr int MAX_DIGEST_DEPTH = 1'000;
inline constexpr long long MAX_DIGEST_OBJECTS = 1'000'000;

// Page by page, what the two PDFs' proofs say of a pair of pages: whether they are proven to
// draw alike (their digests are equal), and whether either names inks. One entry for each page
// the two files have in common, none when either proves nothing.
struct PagePair {
    bool identical = false;
    bool inks = true;
};
std::vector<PagePair> page_pairs(const std::filesystem::path& before, const std::filesystem::path& after);

}  // namespace tesmira::pdf
