// Draws the old and the new page of a compared pair as the comparison saw them, for the
// window's old and new views:
//   tesmira-page-views BEFORE.pdf AFTER.pdf PAGE DPI BEFORE.png AFTER.png
// Each image appears whole under its name or not at all. A failure prints its message on
// standard error and exits 1; SIGTERM exits 130.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "common/allocator.hpp"
#include "common/errors.hpp"
#include "common/termination.hpp"
#include "engine/page_views.hpp"
#include "engine/png_encoder.hpp"
#include "engine/png_io.hpp"
#include "engine/render.hpp"

namespace {

void write_whole(const std::filesystem::path& path, const cv::Mat& image) {
    std::filesystem::path partial = path;
    partial += ".partial";
    tesmira::engine::write_png_file(partial, tesmira::engine::encode_png(image));
    std::filesystem::rename(partial, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s BEFORE.pdf AFTER.pdf PAGE DPI BEFORE.png AFTER.png\n", argv[0]);
        return 2;
    }
    tesmira::install_termination_handler();
    tesmira::reuse_freed_canvases();
    try {
        const int page = std::stoi(argv[3]);
        const double dpi = std::stod(argv[4]);
        tesmira::engine::check_resolution(dpi);
        const tesmira::engine::PageViews views = tesmira::engine::draw_page_views(argv[1], argv[2], page, dpi);
        tesmira::check_termination();
        write_whole(argv[5], views.before);
        write_whole(argv[6], views.after);
        return 0;
    } catch (const tesmira::TerminationRequested&) {
        return 130;
    } catch (const std::exception& error) {
        if (tesmira::termination_requested()) return 130;
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
