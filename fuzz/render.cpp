// Rendering the first page at 144 dpi, behind the renderer's own checks and size limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "engine/render.hpp"
#include "input_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tesmira::fuzz::InputFile pdf(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const tesmira::engine::RenderedPage page = tesmira::engine::render_pdf(pdf.path(), 1, 144);
        // What the comparison relies on: an RGB array of the page's size, and a page that exists.
        if (page.pixels.type() != CV_8UC3 || page.pixels.empty() || page.info.page != 1 || page.info.pages < 1)
            std::abort();
    } catch (const std::exception&) {
        // A refusal or a library's error is an answer; only crashes and undefined behaviour count.
    }
    return 0;
}
