// JPEG files decoded with libjpeg, which reports failures by longjmp: the functions that call
// into it hold only C calls and trivially destructible locals, and what must be freed lives
// outside them.
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <vector>

#include "codecs/decoders.hpp"

namespace tesmira::codecs {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void leave(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1); }
void ignore(j_common_ptr, int) {}

// libjpeg's state, freed however the reading ends.
class Decompressor {
public:
    Decompressor() {
        info_.err = jpeg_std_error(&errors_.base);
        errors_.base.error_exit = leave;
        errors_.base.emit_message = ignore;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info_); }  // nothing to free before creation
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct& info() { return info_; }
    std::jmp_buf& jump() { return errors_.jump; }

private:
    ErrorManager errors_{};
    jpeg_decompress_struct info_{};
};

bool read_header(Decompressor& jpeg, std::string_view bytes) {
    jpeg_decompress_struct& info = jpeg.info();
    if (setjmp(jpeg.jump())) return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    // Grey stays grey, four inks are taken as CMYK, and everything else is asked for as RGB.
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : info.num_components == 4 ? JCS_CMYK : JCS_RGB;
    return true;
}

// CMYK as JPEG files store it (Adobe's inverted samples) to RGB, with the arithmetic that
// OpenCV's decoder used, so that such a file keeps the pixels it had.
void cmyk_to_rgb(const unsigned char* cmyk, unsigned char* rgb, unsigned width) {
    for (unsigned x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const int k = cmyk[3];
        for (int c = 0; c < 3; ++c) rgb[c] = static_cast<unsigned char>(k - (((255 - cmyk[c]) * k) >> 8));
    }
}

// `cmyk_row` holds one row of four samples a pixel when the file is decoded as CMYK.
bool read_rows(Decompressor& jpeg, unsigned char* pixels, std::size_t step, unsigned char* cmyk_row) {
    jpeg_decompress_struct& info = jpeg.info();
    if (setjmp(jpeg.jump())) return false;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        unsigned char* row = pixels + step * info.output_scanline;
        JSAMPROW target = cmyk_row ? cmyk_row : row;
        jpeg_read_scanlines(&info, &target, 1);
        if (cmyk_row) cmyk_to_rgb(cmyk_row, row, info.output_width);
    }
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

std::optional<ImageSize> jpeg_size(std::string_view bytes) {
    Decompressor jpeg;
    if (!read_header(jpeg, bytes)) return std::nullopt;
    return ImageSize{jpeg.info().image_width, jpeg.info().image_height};
}

std::optional<DecodedImage> decode_jpeg(std::string_view bytes) {
    Decompressor jpeg;
    if (!read_header(jpeg, bytes)) return std::nullopt;
    const jpeg_decompress_struct& info = jpeg.info();
    const bool cmyk = info.out_color_space == JCS_CMYK;
    cv::Mat pixels(
        int(info.image_height), int(info.image_width), info.out_color_space == JCS_GRAYSCALE ? CV_8UC1 : CV_8UC3);
    std::vector<unsigned char> cmyk_row(cmyk ? std::size_t(info.image_width) * 4 : 0);
    if (!read_rows(jpeg, pixels.data, pixels.step[0], cmyk ? cmyk_row.data() : nullptr)) return std::nullopt;
    return DecodedImage{std::move(pixels), false};
}

}  // namespace tesmira::codecs
