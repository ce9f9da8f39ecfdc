// PNG files decoded with libpng's classic interface, which reports failures by longjmp: the
// functions that call into it hold only C calls and trivially destructible locals, and what
// must be freed lives outside them.
#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "codecs/decoders.hpp"

namespace tesmira::codecs {
namespace {

struct Source {
    const unsigned char* data;
    std::size_t size, offset;
};

void read_bytes(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->offset) png_error(png, "truncated");
    std::memcpy(out, source->data + source->offset, count);
    source->offset += count;
}

void leave(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignore(png_structp, png_const_charp) {}

// libpng's structures, freed however the reading ends.
class Reader {
public:
    explicit Reader(std::string_view bytes)
        : source_{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0},
          png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, leave, ignore)) {
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~Reader() { png_destroy_read_struct(&png_, &info_, nullptr); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool valid() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }
    Source& source() { return source_; }

private:
    Source source_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// The image as the transforms below hand it over.
struct Layout {
    png_uint_32 width = 0, height = 0;
    int channels = 0;   // 1, 3 or 4
    int bit_depth = 0;  // 8 or 16
    bool rgba = false;
};

// Reads up to the image data and asks for grey, RGB or RGBA samples of 8 or 16 bits,
// non-interlaced, in the machine's byte order.
bool read_layout(Reader& reader, Layout& layout) {
    png_structp png = reader.png();
    png_infop info = reader.info();
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &reader.source(), read_bytes);
    png_read_info(png, info);
    const int colour = png_get_color_type(png, info);
    const bool transparent_colour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparent_colour) png_set_tRNS_to_alpha(png);
    if (!(colour & PNG_COLOR_MASK_COLOR) && (transparent_colour || (colour & PNG_COLOR_MASK_ALPHA)))
        png_set_gray_to_rgb(png);
    if (std::endian::native == std::endian::little) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    layout.width = png_get_image_width(png, info);
    layout.height = png_get_image_height(png, info);
    layout.channels = png_get_channels(png, info);
    layout.bit_depth = png_get_bit_depth(png, info);
    layout.rgba = colour == PNG_COLOR_TYPE_RGB_ALPHA;
    return true;
}

bool read_rows(Reader& reader, png_bytepp rows) {
    if (setjmp(png_jmpbuf(reader.png()))) return false;
    png_read_image(reader.png(), rows);
    return true;
}

}  // namespace

std::optional<ImageSize> png_size(std::string_view bytes) {
    Reader reader(bytes);
    Layout layout;
    if (!reader.valid() || !read_layout(reader, layout)) return std::nullopt;
    return ImageSize{layout.width, layout.height};
}

std::optional<DecodedImage> decode_png(std::string_view bytes) {
    Reader reader(bytes);
    Layout layout;
    if (!reader.valid() || !read_layout(reader, layout)) return std::nullopt;
    if (layout.channels != 1 && layout.channels != 3 && layout.channels != 4) return std::nullopt;
    const int depth = layout.bit_depth == 16 ? CV_16U : CV_8U;
    cv::Mat pixels(int(layout.height), int(layout.width), CV_MAKETYPE(depth, layout.channels));
    std::vector<png_bytep> rows(layout.height);
    for (int r = 0; r < pixels.rows; ++r) rows[std::size_t(r)] = pixels.ptr(r);
    if (!read_rows(reader, rows.data())) return std::nullopt;
    if (depth == CV_16U) pixels.convertTo(pixels, CV_8U, 1.0 / 257);
    return DecodedImage{std::move(pixels), layout.rgba};
}

}  // namespace tesmira::codecs
