#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "binder/image_size.hpp"
#include "binder/png_stream.hpp"
#include "common/errors.hpp"
#include "fixtures/image_files.hpp"
#include "fixtures/refusal.hpp"
#include "fixtures/temp_folder.hpp"
#include "png/chunks.hpp"

namespace fx = tesmira::fixtures::image_files;
using tesmira::UserError;
using tesmira::binder::image_size;
using tesmira::binder::png_stream;
using tesmira::binder::png_stream_buffer;
using tesmira::binder::PngStream;
using tesmira::fixtures::TempFolder;
using tesmira::png::read_png_chunks;

namespace {

void expect_refusal(const std::function<void()>& call, const std::string& message) {
    EXPECT_EQ(tesmira::fixtures::refusal(call), message);
}

std::string without_last_byte(std::string bytes) {
    bytes.pop_back();
    return bytes;
}

// Five by four RGB pixels whose IDAT data the cases split and wrap in other chunks.
constexpr std::uint32_t kWidth = 5, kHeight = 4;
const std::string kIdat = fx::zlib(fx::filtered_rows(fx::samples(kWidth * kHeight * 3), kWidth * 3));
const std::string kSplit1 = kIdat.substr(0, 7), kSplit2 = kIdat.substr(7, 9), kSplit3 = kIdat.substr(16);

TEST(PngStream, RgbPngGivesItsOwnIdatDataUnchanged) {
    const std::string sig(fx::signature), header = fx::ihdr(kWidth, kHeight);
    struct Case {
        const char* name;
        std::string file;
    };
    std::string wrong_crcs = sig + header + fx::idat(kIdat) + fx::iend();
    wrong_crcs[8 + 21] ^= 0x55;                     // IHDR's CRC
    wrong_crcs[8 + 25 + 8 + kIdat.size()] ^= 0x55;  // IDAT's CRC
    const Case cases[] = {
        {"split IDAT among ancillary chunks, one before IHDR",
         sig + fx::chunk("gAMA", std::string("\0\0\xb1\x8f", 4)) + header + fx::chunk("pHYs", std::string(9, '\1')) +
             fx::idat(kSplit1) + fx::chunk("tEXt", std::string("Title\0x", 7)) + fx::idat(kSplit2) + fx::idat(kSplit3) +
             fx::iend()},
        {"a well-formed IDAT and junk after IEND",
         sig + header + fx::idat(kIdat) + fx::iend() + fx::idat("after the end") + "junk"},
        {"no IEND", sig + header + fx::idat(kSplit1) + fx::idat(kSplit2 + kSplit3)},
        {"wrong CRCs", wrong_crcs},
        {"a later IHDR replaces a palette one", sig + fx::ihdr(99, 1, 8, 3) + header + fx::idat(kIdat) + fx::iend()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const auto path = folder.path() / "image.png";
        fx::write_file(path, c.file);
        const PngStream stream = png_stream(path);
        EXPECT_EQ(stream.width, kWidth);
        EXPECT_EQ(stream.height, kHeight);
        EXPECT_TRUE(fx::same_bytes(stream.data, kIdat));
        // The pixel limit is checked on the header that the walk itself uses.
        const auto size = image_size(path);
        EXPECT_EQ(size.width, kWidth);
        EXPECT_EQ(size.height, kHeight);
    }
}

TEST(PngStream, BrokenPngFilesAreRefusedAlikeByTheWalkAndTheHeaderRead) {
    const std::string sig(fx::signature), header = fx::ihdr(kWidth, kHeight);
    struct Case {
        const char* name;
        std::string file, message;
    };
    const Case cases[] = {
        {"signature only", sig, "Incomplete PNG"},
        {"no IDAT", sig + header + fx::chunk("tEXt", "x") + fx::iend(), "Incomplete PNG"},
        {"no IHDR", sig + fx::idat(kIdat) + fx::iend(), "Incomplete PNG"},
        {"IHDR after IEND is not read", sig + fx::idat(kIdat) + fx::iend() + header, "Incomplete PNG"},
        {"last chunk lacks its final CRC byte", without_last_byte(sig + header + fx::idat(kIdat)), "Truncated PNG"},
        {"chunk length past the end",
         sig + header + fx::idat(kIdat).replace(0, 4, "\0\0\x10\0", 4) + fx::iend(),
         "Truncated PNG"},
        {"IHDR of twelve bytes", sig + fx::chunk("IHDR", std::string(12, '\1')) + fx::idat(kIdat), "PNG format error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const auto path = folder.path() / "image.png";
        fx::write_file(path, c.file);
        expect_refusal([&] { png_stream(path); }, c.message);
        expect_refusal([&] { image_size(path); }, c.message);
    }
}

TEST(PngChunks, BytesWithoutTheFullSignatureAreRefused) {
    std::string eighth_byte_wrong = fx::rgb_png(1, 1, "abc");
    eighth_byte_wrong[7] = '\0';
    for (const std::string& bytes : {std::string(), std::string(fx::signature.substr(0, 7)), eighth_byte_wrong}) {
        SCOPED_TRACE(bytes.size());
        expect_refusal([&] { read_png_chunks(bytes); }, "PNG format error");
    }
}

// The expected pixels are those OpenCV reads back, 8-bit RGB with any alpha ignored.
TEST(PngStream, OtherImagesAreEncodedAfreshAsPlainRgbAtLevelNine) {
    constexpr std::uint32_t w = 9, h = 6;  // wide enough for every Adam7 pass
    const std::string rgb = fx::samples(w * h * 3, 1);
    const std::string palette("\x10\x20\x30\xff\x00\x80\x01\x02\x03\xfe\xfd\xfc", 12);

    std::string rgba, rgba_as_rgb, grey, grey_as_rgb, grey_alpha, indices, indexed_rgb;
    for (std::size_t i = 0; i < w * h; ++i) {
        const std::string pixel = rgb.substr(i * 3, 3);
        rgba += pixel + static_cast<char>(i % 3 == 0 ? 0 : 255 - i);  // transparent pixels keep their colour
        rgba_as_rgb += pixel;
        grey += pixel[0];
        grey_as_rgb += std::string(3, pixel[0]);
        grey_alpha += pixel[0] + std::string(1, static_cast<char>(i * 5));
        indices += static_cast<char>(i % 4);
        indexed_rgb += palette.substr(i % 4 * 3, 3);
    }
    // 16-bit samples whose scaling to 8 bits is unambiguous: 0x0000, 0x8080 and 0xffff.
    std::string rgb16, rgb16_as_rgb;
    for (std::size_t i = 0; i < w * h * 3; ++i) {
        const char value = "\x00\x80\xff"[i % 3];
        rgb16 += std::string(2, value);
        rgb16_as_rgb += value;
    }
    const std::string jpeg_bytes = fx::jpeg_file(int(w), int(h), 3, rgb);

    const auto png = [&](int bit_depth,
                         int colour_type,
                         const std::string& rows,
                         const std::string& before_idat = "",
                         int interlace = 0) {
        return std::string(fx::signature) + fx::ihdr(w, h, bit_depth, colour_type, interlace) + before_idat +
               fx::idat(fx::zlib(rows)) + fx::iend();
    };
    struct Case {
        const char* name;
        std::string file, rgb;
    };
    const Case cases[] = {
        {"palette with a transparent entry",
         png(8, 3, fx::filtered_rows(indices, w), fx::chunk("PLTE", palette) + fx::chunk("tRNS", std::string(1, '\0'))),
         indexed_rgb},
        {"grey", png(8, 0, fx::filtered_rows(grey, w)), grey_as_rgb},
        {"grey with alpha", png(8, 4, fx::filtered_rows(grey_alpha, w * 2)), grey_as_rgb},
        {"RGBA", png(8, 6, fx::filtered_rows(rgba, w * 4)), rgba_as_rgb},
        {"16-bit RGB", png(16, 2, fx::filtered_rows(rgb16, w * 6)), rgb16_as_rgb},
        {"interlaced RGB", png(8, 2, fx::adam7_rows(rgb, w, h, 3), "", 1), rgb},
        {"JPEG", jpeg_bytes, fx::decoded_rgb(jpeg_bytes)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const auto path = folder.path() / "image";
        fx::write_file(path, c.file);
        const PngStream stream = png_stream(path);
        EXPECT_EQ(stream.width, w);
        EXPECT_EQ(stream.height, h);
        ASSERT_GE(stream.data.size(), 2u);
        // The zlib header's FLEVEL field: 3 for levels 7 to 9.
        EXPECT_EQ(static_cast<unsigned char>(stream.data[1]) >> 6, 3);
        EXPECT_TRUE(fx::same_bytes(fx::decoded_idat(stream.data, w, h), c.rgb));
    }
}

TEST(PngStreamBuffer, CollectsEveryIdatWithoutCheckingAnything) {
    struct Case {
        const char* name;
        std::string bytes, data;
    };
    const std::string cut_chunk = fx::idat("tail-bytes").substr(0, 8 + 5);
    const Case cases[] = {
        {"IEND does not stop the walk",
         std::string(fx::signature) + fx::idat("ab") + fx::iend() + fx::idat("cd"),
         "abcd"},
        {"the signature is not compared", std::string("not png!") + fx::idat("ab"), "ab"},
        {"a cut-off last chunk gives the data there is",
         std::string(fx::signature) + fx::ihdr(1, 1) + fx::idat("ab") + cut_chunk,
         "abtail-"},
        {"nothing at all", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PngStream stream = png_stream_buffer(c.bytes, 7, 3);
        EXPECT_EQ(stream.width, 7u);
        EXPECT_EQ(stream.height, 3u);
        EXPECT_EQ(stream.data, c.data);
    }
}

}  // namespace
