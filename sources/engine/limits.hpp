#pragma once
#include <filesystem>

namespace tesmira::engine {

inline constexpr long long MAX_PIXELS = 140'000'000;         // one rendered page
inline constexpr long long MAX_OUTPUT_PIXELS = 150'000'000;  // an image decoded or written whole
inline constexpr int MAX_PAGES = 50;                         // pages of one PDF
inline constexpr double MAX_MM = 3000;                       // longest trim side; the test allows + 0.01
// Paths, glyphs, images, shadings, clips and groups that one page may draw, form XObjects
// within form XObjects counted each time they are drawn: a few bytes of a file can ask for
// endless drawing. Far beyond any printed page's, and reached within seconds where nothing is
// drawn.
inline constexpr long long MAX_DRAWN_OBJECTS = 2'000'000;
// What one image of a page may take to decode, as its file declares its size: its samples,
// and for JPEG 2000 and JPEG what their decoders allocate outside MuPDF's own limit (4 and
// 2 bytes a sample). A few bytes of a file can declare an image of gigabytes.
inline constexpr long long MAX_IMAGE_DECODE_BYTES = 1LL << 30;
// The plates of one page: spot inks beyond what fits go through their alternates.
inline constexpr long long MAX_PLATE_BYTES = 1LL << 30;

// The folder that holds "references/": DATA_FOLDER below the running executable's prefix
// (symbolic links resolved), as install_layout.hpp places programs: "/usr/share/tesmira" for
// "/usr/libexec/tesmira/TesmiraWorker", "build/share/tesmira" for "build/tests/engine/…".
// Refused with a message when it is not there; never looked for above the prefix.
const std::filesystem::path& ROOT();

}  // namespace tesmira::engine
