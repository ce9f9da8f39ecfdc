// The PNG chunk walk and the PNG stream for the result PDFs, on arbitrary bytes: PNG files of
// every layout and JPEG files go through libpng and libjpeg on the road that encodes them afresh.
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
#include "codecs/image_file.hpp"
#include "input_file.hpp"
#include "png/chunks.hpp"

namespace {

// Images beyond this are not decoded, so that the fuzzer stays fast. (The product's limit,
// checked from the header before any decoding, is far larger.)
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

    // What walks as a PNG, or has a JPEG's header, goes on to the stream when it is small.
    const std::optional<tesmira::codecs::ImageSize> declared =
        chunks ? tesmira::codecs::ImageSize{chunks->header.width, chunks->header.height}
        : png  ? std::nullopt
               : tesmira::codecs::declared_size(bytes);
    if (!declared || std::uint64_t{declared->width} * declared->height > MAX_DECODED_PIXELS) return 0;
    const tesmira::fuzz::InputFile file(bytes);
    try {
        const tesmira::binder::ImageSize image = tesmira::binder::image_size(file.path());
        if (image.width != declared->width || image.height != declared->height) std::abort();
        const tesmira::binder::PngStream stream_data = tesmira::binder::png_stream(file.path());
        // A plain RGB PNG is passed on as it is; any other is encoded afresh at its own size.
        if (chunks && chunks->header.is_plain_rgb() && stream_data.data != chunks->idat) std::abort();
        if (!chunks && (stream_data.width != declared->width || stream_data.height != declared->height)) std::abort();
    } catch (const std::exception&) {}
    return 0;
}
