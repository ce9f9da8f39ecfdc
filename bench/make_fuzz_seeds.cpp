// Writes the fuzzers' seed corpora: make_fuzz_seeds FOLDER (the repository's fuzz/corpus).
// Every seed is a small, valid input of its kind, made by the test fixture builders and the
// program's own writers, so that the fuzzer starts from every path the input can take.
// Unencrypted PDFs are written with plain content streams, which mutations can reach.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <opencv2/core.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/model/records.hpp"
#include "common/files.hpp"
#include "conductor/events.hpp"
#include "fixtures/image_files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "png/encoder.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;
using tesmira::Json;

namespace {

const std::string PROJECT_ID = "0123456789abcdef0123456789abcdef";  // the archive harness's project

void write_bytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    tesmira::write_text_file(path, bytes);
}

// The builder's file, rewritten with every stream uncompressed and no object streams, after
// `edit` has had its way with it.
void write_plain_pdf(const fx::Document& doc, const fs::path& path, const std::function<void(QPDF&)>& edit = {}) {
    const fs::path packed = fs::path(path).replace_extension(".packed");
    fx::write_pdf(doc, packed);
    QPDF pdf;
    pdf.processFile(packed.c_str());
    if (edit) edit(pdf);
    QPDFWriter writer(pdf, path.c_str());
    writer.setDeterministicID(true);
    writer.setStreamDataMode(qpdf_s_uncompress);
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.write();
    fs::remove(packed);
}

fx::Page page_of(fx::Rect media, std::string content) {
    fx::Page page;
    page.media = media;
    page.content = std::move(content);
    return page;
}

fx::Document one_page(fx::Page page) {
    fx::Document doc;
    doc.pages.push_back(std::move(page));
    return doc;
}

// Spot, indexed and DeviceN colours, a CMYK shading, tiling and shading patterns and a soft
// mask: what the builder has no resources for, added to the first page afterwards.
const std::string COLOUR_CONTENT =
    "q /Sh0 sh Q\n"
    "/Sp cs 0.7 scn 10 10 50 50 re f\n"
    "/Ix cs 1 sc 70 10 50 50 re f\n"
    "/Dn cs 0.3 0.8 scn 130 10 50 50 re f\n"
    "/Pattern cs /P0 scn 10 120 80 70 re f\n"
    "/Pattern cs /P1 scn 110 120 80 70 re f\n"
    "q /GS0 gs 0 0 1 rg 20 20 160 160 re f Q\n";

QPDFObjectHandle stream_of(QPDF& pdf, const std::string& data, const std::string& dictionary) {
    QPDFObjectHandle stream = pdf.newStream(data);
    QPDFObjectHandle keys = QPDFObjectHandle::parse(dictionary);
    for (const std::string& key : keys.getKeys()) stream.getDict().replaceKey(key, keys.getKey(key));
    return stream;
}

void add_colour_resources(QPDF& pdf) {
    const auto parse = [](const std::string& text) { return QPDFObjectHandle::parse(text); };
    const std::string shading =
        "<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [0 0 200 0] /Extend [true true] "
        "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0 0] /C1 [0 0 1 0.2] /N 1 >> >>";
    QPDFObjectHandle patterns = QPDFObjectHandle::newDictionary();
    patterns.replaceKey("/P0",
                        stream_of(pdf,
                                  "1 0 0 rg 0 0 5 5 re f 0 0 1 0 k 5 5 5 5 re f",
                                  "<< /Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 "
                                  "/BBox [0 0 10 10] /XStep 10 /YStep 10 /Resources << >> >>"));
    patterns.replaceKey("/P1", parse("<< /Type /Pattern /PatternType 2 /Shading " + shading + " >>"));

    QPDFObjectHandle colour_spaces = parse(
        "<< /Sp [/Separation /Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0 0] "
        "/N 1 >>] /Ix [/Indexed /DeviceCMYK 1 <00000000FF000000>] /Dn [/DeviceN [/Cyan /Spot] /DeviceCMYK "
        "null] >>");
    // Two inks to four: cyan and the spot's magenta, as a PostScript calculator.
    colour_spaces.getKey("/Dn").setArrayItem(
        3, stream_of(pdf, "{ 0 0 3 -1 roll }", "<< /FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1 0 1] >>"));

    QPDFObjectHandle soft_mask = parse("<< /Type /Mask /S /Luminosity >>");
    soft_mask.replaceKey("/G",
                         stream_of(pdf,
                                   "0.5 g 0 0 100 100 re f 1 g 100 100 100 100 re f",
                                   "<< /Type /XObject /Subtype /Form /BBox [0 0 200 200] "
                                   "/Group << /S /Transparency /CS /DeviceGray >> >>"));
    QPDFObjectHandle state = parse("<< /ca 0.5 >>");
    state.replaceKey("/SMask", soft_mask);
    QPDFObjectHandle states = QPDFObjectHandle::newDictionary();
    states.replaceKey("/GS0", state);

    QPDFObjectHandle resources =
        QPDFPageDocumentHelper(pdf).getAllPages().front().getObjectHandle().getKey("/Resources");
    resources.replaceKey("/ColorSpace", colour_spaces);
    resources.replaceKey("/Shading", parse("<< /Sh0 " + shading + " >>"));
    resources.replaceKey("/Pattern", patterns);
    resources.replaceKey("/ExtGState", states);
}

void write_pdf_seeds(const fs::path& folder) {
    fs::create_directories(folder);
    const fx::Rect small{0, 0, 200, 200};
    const std::string drawing = fx::fill_rect({20, 20, 80, 60}, 1, 0, 0) + fx::stroke_line(10, 150, 190, 150, 2) +
                                fx::text(30, 100, 12, "Proof 42") + fx::fill_rect_cmyk({120, 20, 180, 80}, 0, 1, 1, 0);

    std::vector<std::pair<std::string, fx::Document>> plain;
    plain.emplace_back("a4_drawing.pdf", one_page(page_of({0, 0, 595.276, 841.89}, drawing)));

    fx::Page boxes = page_of({0, 0, 300, 300}, drawing);
    boxes.crop = fx::Rect{5, 5, 295, 295};
    boxes.bleed = fx::Rect{8, 8, 292, 292};
    boxes.trim = fx::Rect{250, 250, 20, 20};  // written inverted
    plain.emplace_back("trim_crop_bleed.pdf", one_page(boxes));

    fx::Page turned = page_of({0, 0, 200, 100}, drawing);
    turned.rotate = 90;
    plain.emplace_back("rotate_90.pdf", one_page(turned));

    fx::Document inherited = one_page(page_of(small, drawing));
    inherited.pages.front().omit_media = true;
    inherited.inherited_media = fx::Rect{0, 0, 150, 250};
    inherited.inherited_rotate = -90;
    plain.emplace_back("inherited_rotate_and_media.pdf", std::move(inherited));

    fx::Page unit = page_of(small, drawing);
    unit.user_unit = "2";
    plain.emplace_back("user_unit_2.pdf", one_page(unit));

    // /Rotate values that no int holds or that lie between the quarter turns.
    for (const auto& [name, token] : {std::pair{"rotate_beyond_int.pdf", std::string("2147483648")},
                                      std::pair{"rotate_real.pdf", std::string("44.6")},
                                      std::pair{"rotate_infinite.pdf", std::string(400, '9') + ".5"}}) {
        fx::Page odd = page_of({0, 0, 200, 100}, drawing);
        odd.rotate_token = token;
        plain.emplace_back(name, one_page(odd));
    }
    plain.emplace_back("oversized_page.pdf", one_page(page_of({0, 0, 9000, 100}, drawing)));
    plain.emplace_back("three_pages.pdf", fx::many_pages(3, page_of(small, drawing)));

    // Images placed simply, rotated and mirrored; with a soft mask; grey and CMYK; and inline.
    fx::Page images = page_of(
        small,
        fx::draw_image(0, 60, 0, 0, 60, 10, 10) + fx::draw_image(1, 0, 40, -40, 0, 150, 80) +
            fx::draw_image(2, -30, 0, 0, 30, 190, 150) + fx::draw_image(3, 30, 0, 0, 30, 100, 150) +
            "q 20 0 0 20 60 120 cm BI /W 2 /H 2 /CS /G /BPC 8 ID " + std::string("\x00\xff\xff\x00", 4) + " EI Q\n");
    images.images.push_back(fx::checkerboard(8, 8));
    images.images.push_back(fx::solid_image(4, 3, {0, 128, 255}));
    fx::Image masked = fx::solid_image(3, 3, {200});
    masked.alpha = {0, 128, 255, 255, 128, 0, 0, 255, 0};
    images.images.push_back(masked);
    images.images.push_back(fx::solid_image(2, 2, {0, 255, 0, 40}));
    plain.emplace_back("images.pdf", one_page(images));

    fx::Page forms =
        page_of(small, fx::draw_form(0) + "q 0.5 0 0 0.5 100 0 cm " + fx::draw_form(1) + "Q\n" + fx::draw_form(2));
    forms.images.push_back(fx::checkerboard(4, 4));
    forms.forms.push_back(
        {{0, 0, 100, 100}, fx::fill_rect({10, 10, 50, 50}, 0, 0, 1) + fx::draw_image(0, 40, 0, 0, 40, 50, 50)});
    forms.forms.push_back({{0, 0, 200, 200}, fx::text(10, 10, 20, "Form") + fx::draw_form(0)});
    forms.forms.push_back({{0, 0, 10, 10}, ""});  // draws nothing
    plain.emplace_back("forms.pdf", one_page(forms));

    plain.emplace_back("clip_and_strokes.pdf",
                       one_page(page_of(small,
                                        "q 10 10 100 100 re W n " + fx::fill_rect({0, 0, 200, 200}, 0, 1, 0) +
                                            "Q 8 w 0 j 2 J 10 M 20 20 m 100 180 l 180 20 l h S "
                                            "0 w 1 j 50 50 m 60 60 70 40 80 50 c S "
                                            "BT 1 Tr /F1 30 Tf 20 20 Td (Outline) Tj 7 Tr (Clip) Tj ET\n")));
    fx::Page japanese = page_of(small, fx::text(10, 20, 9, "Price 1,280 yen"));
    fx::add_cjk_text(japanese, 10, 150, 14, "週末のセール 1,280円");
    plain.emplace_back("japanese_text.pdf", one_page(japanese));
    for (auto& [name, doc] : plain) write_plain_pdf(doc, folder / name);
    write_plain_pdf(
        one_page(page_of(small, COLOUR_CONTENT)), folder / "colours_patterns_masks.pdf", add_colour_resources);
    // 192 bytes of image data declared as 40000 x 40000 pixels: once decoded whole, 4.8 GB.
    write_plain_pdf(one_page(images), folder / "image_declared_huge.pdf", [](QPDF& pdf) {
        QPDFObjectHandle image = QPDFPageDocumentHelper(pdf)
                                     .getAllPages()
                                     .front()
                                     .getObjectHandle()
                                     .getKey("/Resources")
                                     .getKey("/XObject")
                                     .getKey("/Im0");
        image.getDict().replaceKey("/Width", QPDFObjectHandle::newInteger(40000));
        image.getDict().replaceKey("/Height", QPDFObjectHandle::newInteger(40000));
    });

    // As the builder writes them: compressed streams, and encrypted with and without a password.
    fx::write_pdf(one_page(page_of(small, drawing)), folder / "compressed.pdf");
    fx::Document open_encrypted = one_page(page_of(small, drawing));
    open_encrypted.encryption = fx::Encryption::empty_user_password;
    fx::write_pdf(open_encrypted, folder / "encrypted_open.pdf");
    fx::Document locked = one_page(page_of(small, drawing));
    locked.encryption = fx::Encryption::user_password;
    fx::write_pdf(locked, folder / "encrypted_locked.pdf");
}

// A chunk with its length and a zero CRC, which the reader never checks.
std::string chunk(const std::string& type, const std::string& data) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out += char((data.size() >> shift) & 0xff);
    return out + type + data + std::string(4, '\0');
}

void write_png_seeds(const fs::path& folder) {
    cv::Mat rgb(6, 5, CV_8UC3);
    cv::randu(rgb, 0, 256);
    fs::create_directories(folder);
    const fs::path plain = folder / "plain_rgb.png";
    tesmira::png::write_png(plain, rgb);  // the result images' own encoder
    namespace files = fx::image_files;
    write_bytes(folder / "grey.png", files::png_file(4, 4, 8, 0, std::string(16, char(90))));
    std::string rgba, rgb16;
    for (int i = 0; i < 3 * 7; ++i) rgba += "\x1e\x14\x0a\x80";
    for (int i = 0; i < 2 * 2; ++i) rgb16 += std::string("\xff\xff\x75\x30\x03\xe8", 6);  // 65535, 30000, 1000
    write_bytes(folder / "rgba.png", files::png_file(7, 3, 8, 6, rgba));
    write_bytes(folder / "rgb16.png", files::png_file(2, 2, 16, 2, rgb16));
    write_bytes(folder / "cmyk.jpg", files::jpeg_file(3, 2, 4, std::string(3 * 2 * 4, char(60))));

    // The plain file again with its data split over two IDAT chunks, and a chunk after IEND.
    const std::string file = tesmira::read_text_file(plain);
    const std::string head = file.substr(0, 8 + 25);  // signature and IHDR
    const std::uint32_t length = std::uint32_t(std::uint8_t(file[33])) << 24 |
                                 std::uint32_t(std::uint8_t(file[34])) << 16 |
                                 std::uint32_t(std::uint8_t(file[35])) << 8 | std::uint8_t(file[36]);
    const std::string data = file.substr(41, length);
    write_bytes(folder / "split_idat.png",
                head + chunk("tEXt", std::string("Comment\0seed", 12)) + chunk("IDAT", data.substr(0, 5)) +
                    chunk("IDAT", data.substr(5)) + chunk("IEND", "") + chunk("IDAT", "trailing"));
}

// Lists nested `depth` deep: reading them once overflowed the stack when a key followed.
std::string nested(int depth) { return std::string(std::size_t(depth), '[') + std::string(std::size_t(depth), ']'); }

void write_settings_seeds(const fs::path& folder) {
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"empty.json", "{}"},
        {"defaults.json",
         R"({"dpi": 300, "tolerance": 1, "opacity": 10, "border": 2, "stamp": true, "tiny_markers": false, "grain": false})"},
        {"low.json",
         R"({"dpi": 144.0, "tolerance": 0, "opacity": 0, "border": 1, "grain": true, "unknown": [1, {"a": null}]})"},
        {"out_of_range.json", R"({"dpi": 200, "tolerance": 256, "opacity": -1, "border": 7})"},
        {"wrong_types.json", R"({"dpi": "300", "stamp": 1, "tiny_markers": null, "border": 2.0})"},
        {"big_numbers.json", R"({"tolerance": 18446744073709551615, "opacity": -9223372036854775808, "dpi": 3e2})"},
        {"not_a_record.json", R"([{"dpi": 300}])"},
    };
    for (const auto& [name, text] : seeds) write_bytes(folder / name, text);
    write_bytes(folder / "nested_too_deep.json", R"({"x": )" + nested(25000) + R"(, "dpi": 150})");
}

std::string arguments(const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& argument : list) out += (out.empty() ? "" : std::string(1, '\0')) + argument;
    return out;
}

void write_command_line_seeds(const fs::path& folder) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> seeds = {
        {"pair", {"--before", "old.pdf", "--after", "new.pdf", "--output-root", "/tmp/out", "--settings-json", "{}"}},
        {"lists", {"--bef", "a.pdf", "b.pdf", "--after=c.pdf", "--output-root", "-1", "--before", "d e.pdf"}},
        {"archive",
         {"--after",
          "new.pdf",
          "--output-root",
          "out",
          "--archive-mode",
          "register",
          "--archive-root",
          "root",
          "--project-id",
          PROJECT_ID}},
        {"help", {"-h", "--output-root", "x"}},
        {"refusals", {"--a", "x", "--archive-mode=keep", "-x", "--", "--before"}},
    };
    for (const auto& [name, list] : seeds) write_bytes(folder / name, arguments(list));
}

void write_archive_seeds(const fs::path& folder) {
    const auto record = [](const QString& id, const QString& name) {
        return tesmira::app::encodeProject({1, id, name});
    };
    const QString id = QString::fromStdString(PROJECT_ID);
    const std::string nul(1, '\0');
    write_bytes(folder / "project", record(id, QStringLiteral("案件A")) + nul + "カタログ.pdf");
    write_bytes(folder / "decomposed_name",
                record(id, QStringLiteral(" 　Cafe\u0301 2 ")) + nul + "dir/Cafe\u0301.PDF");
    write_bytes(
        folder / "other_id",
        record(QStringLiteral("fedcba9876543210fedcba9876543210"), QStringLiteral("x")) + nul + "bad\tname.pdf");
    write_bytes(folder / "wrong_types", R"({"version": 1.0, "id": 7, "name": ["n"]})" + nul + "a.txt");
    write_bytes(folder / "nested_too_deep", R"({"x": )" + nested(25000) + R"(, "version": 1})" + nul + "a.pdf");
    write_bytes(
        folder / "invalid_utf8",
        "{\"version\": 1, \"id\": \"" + PROJECT_ID + "\", \"name\": \"\xff\xfe\"}" + nul + "\xe6\x97\xa5\xff.pdf");
}

void write_worker_output_seeds(const fs::path& folder) {
    using tesmira::conductor::event_line;
    const Json page = {{"page", 1},
                       {"file", "検版_a.pdf"},
                       {"strict_file", nullptr},
                       {"regions", 3},
                       {"changed_percent", 1.5},
                       {"source_name", "a.pdf"}};
    const std::string run =
        event_line("start", {{"total", 2}}) + "\n" +
        event_line("progress", {{"page", 1}, {"total", 2}, {"name", "a.pdf"}}) + "\n" +
        event_line("progress", {{"page", 2}, {"total", 2}}) + "\n" +
        event_line(
            "complete",
            {{"output", "/out/てすみら検版_x"}, {"pages", Json::array({page, page})}, {"archive_updated", true}}) +
        "\n";
    write_bytes(folder / "run", run);
    // The harness takes read sizes from the input's end: reads of 256 bytes, enough for the line.
    std::string reads;
    for (int i = 0; i < 250; ++i) reads += std::string("\x00\x01", 2);
    write_bytes(folder / "nested_too_deep", R"({"x": )" + nested(25000) + R"(, "event": "start"})" + "\n" + reads);
    write_bytes(folder / "archive_saved", event_line("archive_saved", {{"count", 2}, {"project", "案件A"}}) + "\r\n");
    write_bytes(folder / "error",
                event_line("error", {{"message", "PDFは1〜50ページにしてください。"}}) + "\n" + "not json\n[1, 2]\n\n" +
                    event_line("progress", {{"page", -5}, {"total", 0}}));
}

}  // namespace

// 1999 whole-page placements of one image, each its own object: cutting every image by all the
// others one at a time once took hours on such a page.
void write_page_objects_seeds(const fs::path& folder) {
    fs::create_directories(folder);
    std::string content;
    for (int i = 0; i < 1999; ++i) content += fx::draw_image(0, 200, 0, 0, 200, i * 0.001, 0);
    fx::Page crowded = page_of({0, 0, 200, 200}, content);
    crowded.images.push_back(fx::checkerboard(2, 2));
    write_plain_pdf(one_page(crowded), folder / "crowded_images.pdf");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    write_pdf_seeds(root / "pdf");
    write_page_objects_seeds(root / "fuzz_page_objects");
    write_png_seeds(root / "fuzz_png_stream");
    write_settings_seeds(root / "fuzz_settings");
    write_command_line_seeds(root / "fuzz_command_line");
    write_archive_seeds(root / "fuzz_archive_project");
    write_worker_output_seeds(root / "fuzz_worker_output");
    return 0;
}
