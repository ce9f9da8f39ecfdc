#include <gtest/gtest.h>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "binder/write_images.hpp"
#include "codecs/image_file.hpp"
#include "common/errors.hpp"
#include "fixtures/image_files.hpp"
#include "fixtures/temp_folder.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures::image_files;
using tesmira::UserError;
using tesmira::binder::write_images;
using tesmira::fixtures::TempFolder;

namespace {

using Keys = std::set<std::string>;
constexpr long long kNoLimit = 150'000'000;
const char kTitle[] = "てすみら 検版結果";
const char kCreator[] = "てすみら インストール版ソラマ検版";

std::string text(const std::shared_ptr<Buffer>& buffer) {
    return {reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize()};
}

struct WrittenPdf {
    QPDF pdf;
    std::vector<QPDFPageObjectHelper> pages;
    explicit WrittenPdf(const fs::path& path) {
        pdf.processFile(path.c_str());
        pages = QPDFPageDocumentHelper(pdf).getAllPages();
    }
};

double number(QPDFObjectHandle array, int i) { return array.getArrayItem(i).getNumericValue(); }

// An RGB PNG whose IDAT data is split over three chunks with an ancillary chunk between.
struct SplitPng {
    std::uint32_t width, height;
    std::string rgb, idat, file;
    SplitPng(std::uint32_t w, std::uint32_t h, unsigned seed)
        : width(w),
          height(h),
          rgb(fx::samples(std::size_t{w} * h * 3, seed)),
          idat(fx::zlib(fx::filtered_rows(rgb, std::size_t{w} * 3))) {
        const std::size_t third = idat.size() / 3;
        file = std::string(fx::signature) + fx::ihdr(w, h) + fx::idat(idat.substr(0, third)) +
               fx::chunk("tEXt", std::string("Comment\0between", 15)) + fx::idat(idat.substr(third, third)) +
               fx::idat(idat.substr(2 * third)) + fx::iend();
    }
};

void expect_image_dictionary(QPDFObjectHandle image, std::uint32_t width, std::uint32_t height) {
    QPDFObjectHandle dict = image.getDict();
    EXPECT_EQ(dict.getKeys(),
              (Keys{"/Type",
                    "/Subtype",
                    "/Width",
                    "/Height",
                    "/ColorSpace",
                    "/BitsPerComponent",
                    "/Filter",
                    "/DecodeParms",
                    "/Length"}));
    EXPECT_EQ(dict.getKey("/Type").getName(), "/XObject");
    EXPECT_EQ(dict.getKey("/Subtype").getName(), "/Image");
    EXPECT_EQ(dict.getKey("/Width").getIntValue(), width);
    EXPECT_EQ(dict.getKey("/Height").getIntValue(), height);
    EXPECT_EQ(dict.getKey("/ColorSpace").getName(), "/DeviceRGB");
    EXPECT_EQ(dict.getKey("/BitsPerComponent").getIntValue(), 8);
    EXPECT_EQ(dict.getKey("/Filter").getName(), "/FlateDecode");
    QPDFObjectHandle parms = dict.getKey("/DecodeParms");
    EXPECT_EQ(parms.getKeys(), (Keys{"/Predictor", "/Colors", "/BitsPerComponent", "/Columns"}));
    EXPECT_EQ(parms.getKey("/Predictor").getIntValue(), 15);
    EXPECT_EQ(parms.getKey("/Colors").getIntValue(), 3);
    EXPECT_EQ(parms.getKey("/BitsPerComponent").getIntValue(), 8);
    EXPECT_EQ(parms.getKey("/Columns").getIntValue(), width);
}

QPDFObjectHandle page_image(QPDFPageObjectHelper& page) {
    QPDFObjectHandle resources = page.getObjectHandle().getKey("/Resources");
    EXPECT_EQ(resources.getKeys(), Keys{"/XObject"});
    EXPECT_EQ(resources.getKey("/XObject").getKeys(), Keys{"/Im0"});
    return resources.getKey("/XObject").getKey("/Im0");
}

TEST(WriteImages, EachListedImageBecomesAPageOfItsOwn) {
    TempFolder folder;
    const SplitPng first(5, 4, 1), second(3, 7, 2);
    fx::write_file(folder.path() / "first.png", first.file);
    fx::write_file(folder.path() / "second.png", second.file);
    const fs::path destination = folder.path() / "out.pdf";
    write_images({folder.path() / "first.png", folder.path() / "second.png", folder.path() / "first.png"},
                 destination,
                 144,
                 kNoLimit);

    const std::string file = fx::read_file(destination);
    WrittenPdf written(destination);
    ASSERT_EQ(written.pages.size(), 3u);
    std::set<QPDFObjGen> image_objects;
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const SplitPng& png = i == 1 ? second : first;
        QPDFPageObjectHelper& page = written.pages[i];
        QPDFObjectHandle dict = page.getObjectHandle();
        EXPECT_EQ(dict.getKeys(), (Keys{"/Type", "/Parent", "/MediaBox", "/Resources", "/Contents"}));
        QPDFObjectHandle box = dict.getKey("/MediaBox");
        ASSERT_EQ(box.getArrayNItems(), 4);
        EXPECT_EQ(number(box, 0), 0);
        EXPECT_EQ(number(box, 1), 0);
        EXPECT_EQ(number(box, 2), png.width / 2.0);
        EXPECT_EQ(number(box, 3), png.height / 2.0);

        QPDFObjectHandle image = page_image(page);
        image_objects.insert(image.getObjGen());
        expect_image_dictionary(image, png.width, png.height);
        EXPECT_TRUE(fx::same_bytes(text(image.getRawStreamData()), png.idat));
        EXPECT_TRUE(fx::same_bytes(text(image.getStreamData(qpdf_dl_generalized)), png.rgb));

        QPDFObjectHandle contents = dict.getKey("/Contents");
        ASSERT_TRUE(contents.isStream());
        EXPECT_EQ(contents.getDict().getKeys(), (Keys{"/Filter", "/Length"}));
        EXPECT_EQ(contents.getDict().getKey("/Filter").getName(), "/FlateDecode");
        EXPECT_EQ(text(contents.getRawStreamData()).substr(0, 2), "\x78\x9c");  // zlib's default level
    }
    EXPECT_EQ(image_objects.size(), 3u);
    // On disk too, the image stream is the PNG's own data, byte for byte.
    EXPECT_NE(file.find(first.idat), std::string::npos);
    EXPECT_NE(file.find(second.idat), std::string::npos);
}

TEST(WriteImages, ContentDrawsTheImageOverTheWholePage) {
    struct Case {
        std::uint32_t width, height;
        double dpi, page_width, page_height;
        const char* content;
    };
    // The last case has a width of no exact decimal: the box keeps the double, the text rounds it.
    for (const Case& c : {Case{2480, 3508, 300, 595.2, 841.92, "q 595.20000000 0 0 841.92000000 0 0 cm /Im0 Do Q\n"},
                          Case{1191, 1684, 144, 595.5, 842, "q 595.50000000 0 0 842.00000000 0 0 cm /Im0 Do Q\n"},
                          Case{100, 7, 7, 7200.0 / 7, 72, "q 1028.57142857 0 0 72.00000000 0 0 cm /Im0 Do Q\n"}}) {
        SCOPED_TRACE(c.content);
        TempFolder folder;
        const std::string black(std::size_t{c.width} * c.height * 3, '\0');
        fx::write_file(folder.path() / "page.png", fx::rgb_png(c.width, c.height, black));
        write_images({folder.path() / "page.png"}, folder.path() / "out.pdf", c.dpi, kNoLimit);

        WrittenPdf written(folder.path() / "out.pdf");
        ASSERT_EQ(written.pages.size(), 1u);
        QPDFObjectHandle page = written.pages[0].getObjectHandle();
        EXPECT_EQ(number(page.getKey("/MediaBox"), 2), c.page_width);
        EXPECT_EQ(number(page.getKey("/MediaBox"), 3), c.page_height);
        EXPECT_EQ(text(page.getKey("/Contents").getStreamData(qpdf_dl_generalized)), c.content);
    }
}

TEST(WriteImages, EmptyListGivesNoPagesAndTheDocumentInformation) {
    TempFolder folder;
    write_images({}, folder.path() / "out.pdf", 300, kNoLimit);
    WrittenPdf written(folder.path() / "out.pdf");
    EXPECT_TRUE(written.pages.empty());
    QPDFObjectHandle info = written.pdf.getTrailer().getKey("/Info");
    EXPECT_EQ(info.getKeys(), (Keys{"/Title", "/Creator"}));
    for (const auto& [key, value] : {std::pair{"/Title", kTitle}, std::pair{"/Creator", kCreator}}) {
        SCOPED_TRACE(key);
        const std::string stored = info.getKey(key).getStringValue();
        EXPECT_EQ(stored.substr(0, 2), "\xfe\xff");  // UTF-16BE behind its byte-order mark
        EXPECT_EQ(stored.size() % 2, 0u);
        EXPECT_EQ(info.getKey(key).getUTF8Value(), value);
    }
}

TEST(WriteImages, SameImagesGiveTheSameBytes) {
    TempFolder folder;
    fx::write_file(folder.path() / "page.png", SplitPng(6, 5, 3).file);
    write_images({folder.path() / "page.png"}, folder.path() / "a.pdf", 200, kNoLimit);
    write_images({folder.path() / "page.png"}, folder.path() / "b.pdf", 200, kNoLimit);
    EXPECT_EQ(fx::read_file(folder.path() / "a.pdf"), fx::read_file(folder.path() / "b.pdf"));
}

std::string jpeg_file(int width, int height) {
    std::string rgb;
    for (int i = 0; i < width * height; ++i) rgb += "\x1e\xc8\x0a";
    return fx::jpeg_file(width, height, 3, rgb);
}

// One pixel more is refused: see FailuresLeaveTheDestinationAlone.
TEST(WriteImages, ImageOfExactlyMaxPixelsIsWritten) {
    for (const auto& [kind, file] :
         {std::pair{"PNG", fx::rgb_png(6, 5, fx::samples(90))}, std::pair{"JPEG", jpeg_file(6, 5)}}) {
        SCOPED_TRACE(kind);
        TempFolder folder;
        fx::write_file(folder.path() / "image", file);
        write_images({folder.path() / "image"}, folder.path() / "out.pdf", 72, 30);
        EXPECT_EQ(WrittenPdf(folder.path() / "out.pdf").pages.size(), 1u);
    }
}

TEST(WriteImages, FailuresLeaveTheDestinationAlone) {
    const std::string too_large = "出力画像が上限を超えています。";
    // A palette header far over the limit before data no decoder could read: only a check of
    // the header, ahead of any decoding, refuses it with the limit's message.
    const std::string huge_palette =
        std::string(fx::signature) + fx::ihdr(20000, 20000, 8, 3) + fx::idat("junk") + fx::iend();
    std::string truncated = std::string(fx::signature) + fx::ihdr(2, 2) + fx::idat(fx::zlib(std::string(14, '\0')));
    truncated.pop_back();  // the last chunk's CRC lacks a byte
    struct Case {
        const char* name;
        std::string file, message;  // an empty message: any failure but a refusal
        long long max_pixels;
    };
    const Case cases[] = {
        {"one pixel over the limit", fx::rgb_png(6, 5, fx::samples(90)), too_large, 29},
        {"JPEG one pixel over the limit", jpeg_file(6, 5), too_large, 29},
        {"huge header, unreadable data", huge_palette, too_large, kNoLimit},
        {"truncated PNG", truncated, "Truncated PNG", kNoLimit},
        {"not an image", "plain text, not an image", "", kNoLimit},
    };
    for (const Case& c : cases) {
        for (const bool existing : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (existing ? ", over an existing file" : ""));
            TempFolder folder;
            fx::write_file(folder.path() / "fine.png", fx::rgb_png(2, 2, fx::samples(12)));
            fx::write_file(folder.path() / "bad", c.file);
            const fs::path destination = folder.path() / "out.pdf";
            if (existing) fx::write_file(destination, "earlier result");
            try {
                write_images({folder.path() / "fine.png", folder.path() / "bad"}, destination, 72, c.max_pixels);
                ADD_FAILURE() << "written";
            } catch (const UserError& e) {
                EXPECT_EQ(e.what(), c.message);
            } catch (const std::exception& e) {
                EXPECT_EQ(c.message, "") << e.what();
            }
            if (existing) {
                EXPECT_EQ(fx::read_file(destination), "earlier result");
            } else {
                EXPECT_FALSE(fs::exists(destination));
            }
        }
    }
    TempFolder folder;
    EXPECT_THROW(write_images({folder.path() / "missing.png"}, folder.path() / "out.pdf", 72, kNoLimit),
                 fs::filesystem_error);
    EXPECT_FALSE(fs::exists(folder.path() / "out.pdf"));
}

TEST(WriteImages, OtherImageKindsGetTheSameImageObject) {
    TempFolder folder;
    constexpr std::uint32_t w = 4, h = 3;
    const std::string indices = fx::samples(w * h, 0);
    std::string palette, rgb;
    for (int i = 0; i < 256; ++i) {
        palette += {static_cast<char>(i), static_cast<char>(255 - i), static_cast<char>(i / 2)};
    }
    for (const char index : indices) rgb += palette.substr(static_cast<unsigned char>(index) * 3, 3);
    fx::write_file(folder.path() / "palette.png",
                   std::string(fx::signature) + fx::ihdr(w, h, 8, 3) + fx::chunk("PLTE", palette) +
                       fx::idat(fx::zlib(fx::filtered_rows(indices, w))) + fx::iend());
    const std::string jpeg = jpeg_file(w, h);
    fx::write_file(folder.path() / "photo.jpg", jpeg);
    write_images({folder.path() / "palette.png", folder.path() / "photo.jpg"}, folder.path() / "out.pdf", 72, kNoLimit);

    WrittenPdf written(folder.path() / "out.pdf");
    ASSERT_EQ(written.pages.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        QPDFObjectHandle image = page_image(written.pages[i]);
        expect_image_dictionary(image, w, h);
        const std::string expected = i == 0 ? rgb : fx::decoded_rgb(jpeg);
        EXPECT_TRUE(fx::same_bytes(text(image.getStreamData(qpdf_dl_generalized)), expected));
    }
}

// Rendering at the resolution the image was made at gives the image back. Poppler's own
// Splash renderer smooths images even at one pixel per pixel, so only its size is compared.
TEST(WriteImages, RendersBackToTheImage) {
    if (std::system("command -v pdftoppm pdftocairo > /dev/null") != 0) GTEST_SKIP() << "poppler-utils missing";
    struct Renderer {
        const char* command;
        bool exact_pixels;
    };
    for (const int dpi : {72, 144, 300}) {
        for (const Renderer renderer : {Renderer{"pdftocairo", true}, Renderer{"pdftoppm", false}}) {
            SCOPED_TRACE(std::string(renderer.command) + " at " + std::to_string(dpi));
            TempFolder folder;
            const std::uint32_t w = 50, h = 25;  // whole pixels at each of these resolutions
            const std::string rgb = fx::samples(w * h * 3, 4);
            fx::write_file(folder.path() / "page.png", fx::rgb_png(w, h, rgb));
            write_images({folder.path() / "page.png"}, folder.path() / "out.pdf", dpi, kNoLimit);
            const std::string command = std::string(renderer.command) + " -r " + std::to_string(dpi) +
                                        " -png -singlefile '" + (folder.path() / "out.pdf").string() + "' '" +
                                        (folder.path() / "rendered").string() + "'";
            ASSERT_EQ(std::system(command.c_str()), 0);
            const std::string rendered = fx::read_file(folder.path() / "rendered.png");
            const cv::Mat pixels = tesmira::codecs::decode_image(rendered).pixels;
            ASSERT_EQ(pixels.cols, static_cast<int>(w));
            ASSERT_EQ(pixels.rows, static_cast<int>(h));
            if (renderer.exact_pixels) {
                EXPECT_TRUE(fx::same_bytes(fx::decoded_rgb(rendered), rgb));
            }
        }
    }
}

}  // namespace
