#include "binder/write_images.hpp"

#include "binder/image_size.hpp"
#include "binder/png_stream.hpp"
#include "common/errors.hpp"

#include <unistd.h>
#include <zlib.h>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace tesmira::binder {
namespace {

using Object = QPDFObjectHandle;

// Fixed notation; to_chars ignores the locale, unlike printf's decimal point.
std::string fixed(double value, int decimals) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return {text, result.ptr};
}

// The shortest fixed text that reads back as exactly this double.
std::string exact(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return {text, result.ptr};
}

std::string deflate(const std::string& text) {
    uLongf size = compressBound(text.size());
    std::string out(size, '\0');
    if (compress(
            reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size()) !=
        Z_OK) {
        throw std::runtime_error("cannot compress the page content");
    }
    out.resize(size);
    return out;
}

Object name(const char* text) { return Object::newName(text); }

void add_page(QPDF& pdf, QPDFPageDocumentHelper& pages, const PngStream& image, double dpi) {
    const double width = static_cast<double>(std::uint64_t{image.width} * 72) / dpi;
    const double height = static_cast<double>(std::uint64_t{image.height} * 72) / dpi;

    Object page = pdf.makeIndirectObject(Object::newDictionary());
    page.replaceKey("/Type", name("/Page"));
    page.replaceKey("/MediaBox",
                    Object::newArray({Object::newInteger(0),
                                      Object::newInteger(0),
                                      Object::newReal(exact(width)),
                                      Object::newReal(exact(height))}));

    Object xobject = pdf.newStream();
    Object dict = xobject.getDict();
    dict.replaceKey("/Type", name("/XObject"));
    dict.replaceKey("/Subtype", name("/Image"));
    dict.replaceKey("/Width", Object::newInteger(image.width));
    dict.replaceKey("/Height", Object::newInteger(image.height));
    dict.replaceKey("/ColorSpace", name("/DeviceRGB"));
    dict.replaceKey("/BitsPerComponent", Object::newInteger(8));
    Object parms = Object::newDictionary();
    parms.replaceKey("/Predictor", Object::newInteger(15));
    parms.replaceKey("/Colors", Object::newInteger(3));
    parms.replaceKey("/BitsPerComponent", Object::newInteger(8));
    parms.replaceKey("/Columns", Object::newInteger(image.width));
    // The PNG's own zlib data is the encoded stream; the writer must pass it on untouched.
    xobject.replaceStreamData(image.data, name("/FlateDecode"), parms);
    xobject.setFilterOnWrite(false);

    const std::string text = "q " + fixed(width, 8) + " 0 0 " + fixed(height, 8) + " 0 0 cm /Im0 Do Q\n";
    Object contents = pdf.newStream();
    contents.replaceStreamData(deflate(text), name("/FlateDecode"), Object::newNull());
    contents.setFilterOnWrite(false);

    Object xobjects = Object::newDictionary();
    xobjects.replaceKey("/Im0", xobject);
    Object resources = Object::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", contents);
    pages.addPage(QPDFPageObjectHelper(page), false);
}

// A document with the result PDFs' information and no page yet.
void start_document(QPDF& pdf) {
    pdf.emptyPDF();
    Object info = pdf.makeIndirectObject(Object::newDictionary());
    info.replaceKey("/Title", Object::newUnicodeString("てすみら 検版結果"));
    info.replaceKey("/Creator", Object::newUnicodeString("てすみら インストール版ソラマ検版"));
    pdf.getTrailer().replaceKey("/Info", info);
}

// The header alone decides, before any pixel of an oversized image is decoded.
void check_size(const ImageSize& size, long long max_pixels) {
    if (std::cmp_greater(std::uint64_t{size.width} * size.height, max_pixels))
        throw UserError("出力画像が上限を超えています。");
}

void write_document(QPDFWriter& writer) {
    // An /ID digested from the content: the same images give the same file.
    writer.setDeterministicID(true);
    writer.write();
}

// The writer's output into an open file.
class DescriptorOutput : public Pipeline {
public:
    explicit DescriptorOutput(int descriptor) : Pipeline("result PDF", nullptr), descriptor_(descriptor) {}
    void write(unsigned char const* data, size_t length) override {
        while (length > 0) {
            const ssize_t written = ::write(descriptor_, data, length);
            if (written < 0 && errno == EINTR) continue;
            if (written < 0) throw std::system_error(errno, std::generic_category(), "cannot write the result PDF");
            data += written;
            length -= std::size_t(written);
        }
    }
    void finish() override {}

private:
    int descriptor_;
};

}  // namespace

void write_images(const std::vector<std::filesystem::path>& images, const std::filesystem::path& destination,
                  double dpi, long long max_pixels) {
    QPDF pdf;
    start_document(pdf);
    QPDFPageDocumentHelper pages(pdf);
    for (const std::filesystem::path& path : images) {
        check_size(image_size(path), max_pixels);
        add_page(pdf, pages, png_stream(path), dpi);
    }
    // Opening the writer creates the file, so it comes only after every image is embedded.
    QPDFWriter writer(pdf, destination.c_str());
    write_document(writer);
}

void write_images(const std::vector<std::string_view>& images, int descriptor, double dpi, long long max_pixels) {
    QPDF pdf;
    start_document(pdf);
    QPDFPageDocumentHelper pages(pdf);
    for (const std::string_view image : images) {
        check_size(image_size_of(image), max_pixels);
        add_page(pdf, pages, png_stream_of(image), dpi);
    }
    DescriptorOutput output(descriptor);
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&output);
    write_document(writer);
}

}  // namespace tesmira::binder
