// The PNG chunk walk and the PNG stream for the result PDFs, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "binder/image_size.hpp"
#include "binder/png_stream.hpp"
#include "input_file.hpp"
#include "png/chunks.hpp"

namespace {

// Images beyond this are decoded by OpenCV's own code only; the fuzzer stays fast. (The
// product's limit, checked from the header before any decoding, is far larger.)
constexpr std::uint64_t MAX_DECODED_PIXELS = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::optional<tesmira::png::PngChunks> chunks;
    try {
        chunks = tesmira::png::read_png_chunks(bytes);
    } catch (const std::exception&) {}

    // The header read from a stream a few bytes at a time must agree with the whole walk.
    std::istringstream stream(bytes);
    std::optional<tesmira::png::PngHeader> header;
    bool header_refused = false;
    try {
        header = tesmira::png::read_png_header(stream);
    } catch (const std::exception&) {
        header_refused = true;
    }
    const bool png = bytes.starts_with(tesmira::png::SIGNATURE);
    if (chunks && !(header && header->width == chunks->header.width && header->height == chunks->header.height))
        std::abort();
    if (!chunks && png && !header_refused) std::abort();
    if (!png && (header || header_refused)) std::abort();

    // Only bytes that walk as a PNG go on to the stream: other formats would be decoded whole
    // by OpenCV, which this harness does not set out to test.
    if (!chunks || std::uint64_t{chunks->header.width} * chunks->header.height > MAX_DECODED_PIXELS) return 0;
    const tesmira::fuzz::InputFile file(bytes);
    try {
        const tesmira::binder::ImageSize image = tesmira::binder::image_size(file.path());
        const tesmira::binder::PngStream stream_data = tesmira::binder::png_stream(file.path());
        if (image.width != chunks->header.width || image.height != chunks->header.height) std::abort();
        // A plain RGB PNG is passed on as it is; any other is encoded afresh at its own size.
        if (chunks->header.is_plain_rgb() && stream_data.data != chunks->idat) std::abort();
    } catch (const std::exception&) {}
    return 0;
}
