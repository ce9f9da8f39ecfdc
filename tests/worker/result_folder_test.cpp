#include <gtest/gtest.h>
#include <sys/stat.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>

#include "common/tokyo_clock.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

class WorkerResultFolder : public WorkerTest {};

const std::string STAMP = R"((\d{8}_\d{6}_[0-9a-f]{8}))";

// The stamp inside `name` when it has the form prefix + stamp + suffix, else empty.
std::string stamp_in(const std::string& name, const std::string& prefix, const std::string& suffix) {
    std::smatch match;
    return std::regex_match(name, match, std::regex(prefix + STAMP + suffix)) ? match[1].str() : "";
}

unsigned mode_of(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? unsigned(status.st_mode & 07777) : 0u;
}

struct PdfPage {
    double width = 0, height = 0;     // media box, points
    long long columns = 0, rows = 0;  // the page's one image
    friend bool operator==(const PdfPage&, const PdfPage&) = default;
};

std::vector<PdfPage> pages_of(const fs::path& pdf) {
    QPDF document;
    document.processFile(pdf.c_str());
    std::vector<PdfPage> pages;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages()) {
        const auto box = page.getMediaBox().getArrayAsRectangle();
        PdfPage info{box.urx - box.llx, box.ury - box.lly};
        auto images = page.getImages();
        if (images.size() == 1) {
            QPDFObjectHandle dictionary = images.begin()->second.getDict();
            info.columns = dictionary.getKey("/Width").getIntValue();
            info.rows = dictionary.getKey("/Height").getIntValue();
        }
        pages.push_back(info);
    }
    return pages;
}

// The page as a 72-dpi renderer other than ours sees it: `pdftoppm` at `dpi`, width × height.
std::pair<long long, long long> rendered_size(const fs::path& pdf, int page, int dpi, const fs::path& folder) {
    const fs::path prefix = folder / ("rendered-" + std::to_string(page));
    const std::string command = "pdftoppm -png -singlefile -r " + std::to_string(dpi) + " -f " + std::to_string(page) +
                                " -l " + std::to_string(page) + " '" + pdf.string() + "' '" + prefix.string() + "'";
    if (std::system(command.c_str()) != 0) return {-1, -1};
    std::ifstream png(prefix.string() + ".png", std::ios::binary);
    unsigned char header[24] = {};
    png.read(reinterpret_cast<char*>(header), sizeof header);
    auto big_endian = [&](int at) {
        long long value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | header[at + i];
        return value;
    };
    fs::remove(prefix.string() + ".png");
    return {big_endian(16), big_endian(20)};
}

// Every page of `pdf` is exactly its one image at `dpi`, drawn over the whole page and nothing
// else, and renders back to that many pixels.
void expect_flat_pages(const fs::path& pdf, std::size_t count, int dpi, const fs::path& scratch) {
    const std::vector<PdfPage> pages = pages_of(pdf);
    ASSERT_EQ(pages.size(), count) << pdf;
    QPDF document;
    document.processFile(pdf.c_str());
    QPDFObjectHandle info = document.getTrailer().getKey("/Info");
    EXPECT_EQ(info.getKey("/Title").getUTF8Value(), "てすみら 検版結果");
    EXPECT_EQ(info.getKey("/Creator").getUTF8Value(), "てすみら インストール版ソラマ検版");

    std::vector<QPDFPageObjectHelper> objects = QPDFPageDocumentHelper(document).getAllPages();
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        const PdfPage& page = pages[i];
        EXPECT_GT(page.columns, 0);
        EXPECT_DOUBLE_EQ(page.width, double(page.columns * 72) / dpi);
        EXPECT_DOUBLE_EQ(page.height, double(page.rows * 72) / dpi);

        QPDFObjectHandle dictionary = objects[i].getObjectHandle();
        for (const char* absent : {"/CropBox", "/TrimBox", "/BleedBox", "/Rotate", "/UserUnit", "/Annots"})
            EXPECT_FALSE(dictionary.hasKey(absent)) << absent;
        QPDFObjectHandle resources = dictionary.getKey("/Resources");
        EXPECT_EQ(resources.getKeys(), std::set<std::string>{"/XObject"});
        EXPECT_EQ(resources.getKey("/XObject").getKeys(), std::set<std::string>{"/Im0"});
        char content[128];
        std::snprintf(content, sizeof content, "q %.8f 0 0 %.8f 0 0 cm /Im0 Do Q\n", page.width, page.height);
        EXPECT_TRUE(dictionary.getKey("/Contents").isStream());
        std::string drawn;
        for (QPDFObjectHandle& stream : objects[i].getPageContents()) {
            const auto data = stream.getStreamData(qpdf_dl_generalized);
            drawn.append(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
        }
        EXPECT_EQ(drawn, content);

        QPDFObjectHandle image = resources.getKey("/XObject").getKey("/Im0").getDict();
        EXPECT_EQ(image.getKey("/ColorSpace").getName(), "/DeviceRGB");
        EXPECT_EQ(image.getKey("/BitsPerComponent").getIntValue(), 8);
        EXPECT_EQ(image.getKey("/Filter").getName(), "/FlateDecode");
        QPDFObjectHandle predictor = image.getKey("/DecodeParms");
        EXPECT_EQ(predictor.getKey("/Predictor").getIntValue(), 15);
        EXPECT_EQ(predictor.getKey("/Colors").getIntValue(), 3);
        EXPECT_EQ(predictor.getKey("/Columns").getIntValue(), page.columns);
    }
    EXPECT_EQ(rendered_size(pdf, 1, dpi, scratch), std::make_pair(pages[0].columns, pages[0].rows));
}

std::vector<std::string> strings(const Json& list) {
    std::vector<std::string> result;
    for (const Json& item : list) result.push_back(item.get<std::string>());
    return result;
}

}  // namespace

TEST_F(WorkerResultFolder, OnePairGivesOneFolderWithOnePdf) {
    write_sample_pdf(box.input("a.pdf"), 2, 0);
    write_sample_pdf(box.input("b.pdf"), 2, 1);
    const fs::path link = box.input("downloads-link");
    fs::create_directory_symlink(box.output(), link);

    const std::string before = tesmira::format_time(tesmira::tokyo_now(), "%Y%m%d_%H%M%S");
    std::vector<std::string> arguments = comparison({box.input("a.pdf")}, {box.input("b.pdf")});
    std::replace(arguments.begin(), arguments.end(), box.output().string(), link.string());
    const Outcome run = box.run(arguments);
    const std::string after = tesmira::format_time(tesmira::tokyo_now(), "%Y%m%d_%H%M%S");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_EQ(run.names(), (std::vector<std::string>{"start", "progress", "progress", "complete"}));

    // The output root gains the result folder only, the folder holds the PDF only.
    const std::set<std::string> published = entries(box.output());
    ASSERT_EQ(published.size(), 1u);
    const std::string folder_name = *published.begin();
    const std::string folder_stamp = stamp_in(folder_name, "てすみら検版_", "");
    ASSERT_FALSE(folder_stamp.empty()) << folder_name;
    EXPECT_GE(folder_stamp.substr(0, 15), before);  // Tokyo time, taken during the run
    EXPECT_LE(folder_stamp.substr(0, 15), after);
    const fs::path folder = fs::canonical(box.output()) / folder_name;
    const std::set<std::string> files = entries(folder);
    ASSERT_EQ(files.size(), 1u);
    const std::string pdf_name = *files.begin();
    const std::string pdf_stamp = stamp_in(pdf_name, "検版_a_", "_001\\.pdf");  // the old file's stem
    ASSERT_FALSE(pdf_stamp.empty()) << pdf_name;
    EXPECT_NE(pdf_stamp, folder_stamp);
    EXPECT_EQ(mode_of(folder), 0700u);
    EXPECT_EQ(mode_of(folder / pdf_name), 0600u);

    // The final event names the published paths, under the link's target.
    const Json& complete = run.last();
    EXPECT_EQ(complete.at("output"), folder.string());
    EXPECT_EQ(complete.at("files"), 1);
    EXPECT_EQ(strings(complete.at("pdfs")), std::vector<std::string>{(folder / pdf_name).string()});
    ASSERT_EQ(complete.at("pages").size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const Json& page = complete.at("pages").at(i);
        EXPECT_EQ(page.at("page"), i + 1);
        EXPECT_EQ(page.at("file"), pdf_name);
        EXPECT_TRUE(page.at("strict_file").is_null());
        EXPECT_EQ(page.at("source_name"), "a.pdf");
    }

    // A 100-point page at 144 dpi is 200 pixels wide, with a 50-pixel margin on each side.
    expect_flat_pages(folder / pdf_name, 2, 144, box.inputs());
    EXPECT_EQ(pages_of(folder / pdf_name)[0].columns, 300);
}

// Without settings the run is at 300 dpi: an A4 page gives its 2481 × 3508 pixels, the margins
// and the one-line information band of 159 rows.
TEST_F(WorkerResultFolder, A4PageAtDefaultResolution) {
    write_sample_pdf(box.input("a.pdf"), 1, 0, 595.276, 841.89);
    write_sample_pdf(box.input("b.pdf"), 1, 1, 595.276, 841.89);
    const Outcome run = box.run({"--before",
                                 box.input("a.pdf").string(),
                                 "--after",
                                 box.input("b.pdf").string(),
                                 "--output-root",
                                 box.output().string()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const fs::path pdf = strings(run.last().at("pdfs")).at(0);
    EXPECT_EQ(pages_of(pdf), (std::vector<PdfPage>{{2581 * 72 / 300.0, 3767 * 72 / 300.0, 2581, 3767}}));
    expect_flat_pages(pdf, 1, 300, box.inputs());
}

TEST_F(WorkerResultFolder, ThreePairsGiveOnePdfEachInNameOrder) {
    const std::map<std::string, int> page_counts = {{"a.pdf", 3}, {"b.pdf", 1}, {"c.pdf", 2}};
    fs::create_directory(box.input("old"));
    fs::create_directory(box.input("new"));
    for (const auto& [name, count] : page_counts) {
        write_sample_pdf(box.input("old/" + name), count, 0);
        write_sample_pdf(box.input("new/" + name), count, 1);
    }
    const Outcome run = box.run(comparison({box.input("old/c.pdf"), box.input("old/a.pdf"), box.input("old/b.pdf")},
                                           {box.input("new/b.pdf"), box.input("new/c.pdf"), box.input("new/a.pdf")}));
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    std::vector<std::string> expected = {R"({"event": "start", "total": 6, "files": 3})"};
    int overall = 0, index = 0;
    for (const auto& [name, count] : page_counts) {
        ++index;
        for (int page = 1; page <= count; ++page)
            expected.push_back("{\"event\": \"progress\", \"page\": " + std::to_string(++overall) +
                               ", \"total\": 6, \"name\": \"" + name + "\", \"file_index\": " + std::to_string(index) +
                               ", \"file_total\": 3, \"file_page\": " + std::to_string(page) +
                               ", \"file_pages\": " + std::to_string(count) + "}");
    }
    ASSERT_EQ(run.lines.size(), expected.size() + 1) << run.out;
    EXPECT_EQ(std::vector<std::string>(run.lines.begin(), run.lines.end() - 1), expected);

    const Json& complete = run.last();
    EXPECT_EQ(complete.at("event"), "complete");
    EXPECT_EQ(complete.at("files"), 3);
    const std::vector<std::string> pdfs = strings(complete.at("pdfs"));
    ASSERT_EQ(pdfs.size(), 3u);
    const fs::path folder = complete.at("output").get<std::string>();
    EXPECT_EQ(entries(box.output()), std::set<std::string>{folder.filename().string()});
    const std::string stamp = stamp_in(fs::path(pdfs[0]).filename().string(), "検版_a_", "_001\\.pdf");
    ASSERT_FALSE(stamp.empty()) << pdfs[0];
    const std::vector<std::string> names = {
        "検版_a_" + stamp + "_001.pdf", "検版_b_" + stamp + "_002.pdf", "検版_c_" + stamp + "_003.pdf"};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(pdfs[i], (folder / names[i]).string());
    EXPECT_EQ(entries(folder), std::set<std::string>(names.begin(), names.end()));

    // Page records keep their page number within the pair and name the pair's PDF.
    ASSERT_EQ(complete.at("pages").size(), 6u);
    const Json& fourth = complete.at("pages").at(3);
    EXPECT_EQ(fourth.at("page"), 1);
    EXPECT_EQ(fourth.at("file"), names[1]);
    EXPECT_EQ(fourth.at("source_name"), "b.pdf");
    EXPECT_EQ(complete.at("pages").at(5).at("page"), 2);
    EXPECT_EQ(complete.at("pages").at(5).at("source_name"), "c.pdf");
    index = 0;
    for (const auto& [name, count] : page_counts)
        EXPECT_EQ(pages_of(folder / names[index++]).size(), std::size_t(count));
}

TEST_F(WorkerResultFolder, NoisePassAddsAStrictPdfAfterEachResultPdf) {
    fs::create_directory(box.input("old"));
    fs::create_directory(box.input("new"));
    for (const char* name : {"x.pdf", "y.pdf"}) {
        write_sample_pdf(box.input(std::string("old/") + name), 2, 0);
        write_sample_pdf(box.input(std::string("new/") + name), 2, 1);
    }
    const Outcome run = box.run(comparison({box.input("old/x.pdf"), box.input("old/y.pdf")},
                                           {box.input("new/x.pdf"), box.input("new/y.pdf")},
                                           R"({"dpi": 144, "grain": true})"));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const Json& complete = run.last();
    const fs::path folder = complete.at("output").get<std::string>();
    const std::vector<std::string> pdfs = strings(complete.at("pdfs"));
    ASSERT_EQ(pdfs.size(), 4u);
    const std::string stamp = stamp_in(fs::path(pdfs[0]).filename().string(), "検版_x_", "_001\\.pdf");
    ASSERT_FALSE(stamp.empty()) << pdfs[0];
    const std::vector<std::string> names = {"検版_x_" + stamp + "_001.pdf",
                                            "厳密比較_x_" + stamp + "_001.pdf",
                                            "検版_y_" + stamp + "_002.pdf",
                                            "厳密比較_y_" + stamp + "_002.pdf"};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(pdfs[i], (folder / names[i]).string());
    EXPECT_EQ(entries(folder), std::set<std::string>(names.begin(), names.end()));
    for (const std::string& name : names) {
        EXPECT_EQ(pages_of(folder / name).size(), 2u) << name;
        EXPECT_EQ(mode_of(folder / name), 0600u) << name;
    }
    ASSERT_EQ(complete.at("pages").size(), 4u);
    EXPECT_EQ(complete.at("pages").at(2).at("file"), names[2]);
    EXPECT_EQ(complete.at("pages").at(2).at("strict_file"), names[3]);
}

// PDF names: the old file's stem in NFC without format characters, cut at 160 bytes, "原稿" when empty.
TEST_F(WorkerResultFolder, PdfNamesCarryTheCleanedStem) {
    std::string kanji54, x_and_53;
    for (int i = 0; i < 54; ++i) kanji54 += "漢";
    x_and_53 = "x" + kanji54.substr(3);
    const std::map<std::string, std::string> stems = {
        {kanji54 + ".pdf", kanji54.substr(0, 159)},  // 162 bytes: the 54th character does not fit
        {x_and_53 + ".pdf", x_and_53},               // exactly 160 bytes
        {"\u200B.pdf", "原稿"},
        {"報告書.第2版.pdf", "報告書.第2版"},
        {"か\u3099\u200D.pdf", "が"},
    };
    fs::create_directory(box.input("old"));
    fs::create_directory(box.input("new"));
    std::vector<fs::path> before, after;
    for (const auto& [name, stem] : stems) {
        write_sample_pdf(before.emplace_back(box.input("old/" + name)), 1, 0);
        write_sample_pdf(after.emplace_back(box.input("new/" + name)), 1, 1);
    }
    const Outcome run = box.run(comparison(before, after));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<std::string> pdfs = strings(run.last().at("pdfs"));
    ASSERT_EQ(pdfs.size(), stems.size());
    // std::map orders by bytes, which for UTF-8 is the code point order of the pairing.
    int index = 0;
    for (const auto& [name, stem] : stems) {
        const std::string file = fs::path(pdfs[std::size_t(index++)]).filename().string();
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "_%03d\\.pdf", index);
        EXPECT_FALSE(stamp_in(file, "検版_" + stem + "_", suffix).empty()) << name << " gave " << file;
    }
}
