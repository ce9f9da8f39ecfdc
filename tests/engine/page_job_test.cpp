#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <map>
#include <set>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "codecs/image_file.hpp"
#include "common/errors.hpp"
#include "engine/image_reading.hpp"
#include "engine/page_job.hpp"
#include "fixtures/image_files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/refusal.hpp"
#include "fixtures/temp_folder.hpp"
#include "png/chunks.hpp"
#include "png/encoder.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using tesmira::Json;
using tesmira::engine::run_job;

namespace {

fx::Page plain(double width_pt, double height_pt, std::string content = "") {
    fx::Page page;
    page.media = {0, 0, width_pt, height_pt};
    page.content = std::move(content);
    return page;
}

double mm(double millimetres) { return millimetres * 72 / 25.4; }

Json base_settings() { return Json{{"page", 1}, {"dpi", 144}, {"tolerance", 1}, {"opacity", 10}, {"border", 2}}; }

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> files_in(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::vector<std::string> keys_of(const Json& record) {
    std::vector<std::string> keys;
    for (const auto& item : record.items()) keys.push_back(item.key());
    return keys;
}

// An image whose samples are a smooth ramp, with optional ±2 dither (kept off the image's
// outermost pixels, which lie outside the noise scope's safety margin) or a real patch.
fx::Image ramp_image(int size, int dither, int patch) {
    fx::Image image;
    image.width = image.height = size;
    image.samples.resize(std::size_t(size) * size * 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int c = 0; c < 3; ++c) {
                int v = 60 + x + c * 20 + y / 2;
                const bool inside = x >= 3 && y >= 3 && x < size - 3 && y < size - 3;
                if (dither && inside) v += ((x + y) % 2 ? dither : -dither);
                if (patch && x >= 40 && x < 60 && y >= 40 && y < 60) v += patch;
                image.samples[(std::size_t(y) * size + x) * 3 + c] = static_cast<unsigned char>(v);
            }
    return image;
}

class PageJob : public ::testing::Test {
protected:
    fx::TempFolder folder;
    void write_pair(const fx::Page& before, const fx::Page& after) {
        fx::write_pdf(fx::many_pages(1, before), folder.path() / "before.pdf");
        fx::write_pdf(fx::many_pages(1, after), folder.path() / "after.pdf");
    }
    std::string refusal(const Json& settings) {
        return tesmira::fixtures::refusal([&] { run_job(folder.path(), settings); });
    }
};

}  // namespace

TEST_F(PageJob, TrimSizesMayDifferByAHundredthOfAMillimetre) {
    struct Case {
        double before_w, before_h, after_w, after_h;
        bool accepted;
    } cases[] = {
        {210.0, 297.0, 210.01, 297.0, true},
        {100.0, 50.0, 100.01, 50.0, false},  // the double difference is just above 0.01
        {210.0, 297.0, 210.0, 297.009, true},
        {210.0, 297.0, 210.0, 297.011, false},
    };
    for (const Case& c : cases) {
        write_pair(plain(mm(c.before_w), mm(c.before_h)), plain(mm(c.after_w), mm(c.after_h)));
        EXPECT_EQ(refusal(base_settings()),
                  c.accepted ? tesmira::fixtures::NO_REFUSAL : "新旧PDFの仕上がりサイズが異なります。")
            << c.after_w << " x " << c.after_h;
    }
}

TEST_F(PageJob, WritesTheFilesTheSettingsAskFor) {
    write_pair(plain(100, 100), plain(100, 100, fx::fill_rect({10, 10, 30, 30}, 0, 0, 0)));
    struct Case {
        Json extra;
        std::set<std::string> files;
    } cases[] = {
        {Json::object(),
         {"before.pdf", "after.pdf", "result.png", "mask.png", "before.png", "after.png", "result.json"}},
        {Json{{"diagnostic_images", false}}, {"before.pdf", "after.pdf", "result.png", "result.json"}},
        {Json{{"diagnostic_images", 0}, {"grain", true}},
         {"before.pdf", "after.pdf", "strict.png", "result.png", "result.json"}},
    };
    for (const Case& c : cases) {
        for (const auto& name : files_in(folder.path()))
            if (name.ends_with(".png") || name.ends_with(".json")) fs::remove(folder.path() / name);
        Json settings = base_settings();
        settings.update(c.extra);
        run_job(folder.path(), settings);
        EXPECT_EQ(files_in(folder.path()), c.files) << settings.dump();
    }
    // Every image is an ordinary 8-bit PNG: RGB, or grey for the mask.
    run_job(folder.path(), base_settings());
    EXPECT_EQ(tesmira::png::probe_header(folder.path() / "result.png")->colour_type, 2);
    EXPECT_EQ(tesmira::png::probe_header(folder.path() / "mask.png")->colour_type, 0);
    cv::Mat mask = tesmira::codecs::decode_image(read_file(folder.path() / "mask.png")).pixels;
    EXPECT_EQ(mask.cols, 200 + 100);
    EXPECT_EQ(cv::countNonZero(mask), 40 * 40);
}

// The three optional flags are off for false, null, zero and an empty text, list or record,
// and on for any other value, a text such as "0" or "false" included.
TEST_F(PageJob, OptionalFlagsAreOffOnlyForEmptyValues) {
    write_pair(plain(100, 100), plain(100, 100, fx::fill_rect({10, 10, 30, 30}, 0, 0, 0)));
    const struct {
        Json value;
        bool on;
    } cases[] = {
        {false, false},
        {nullptr, false},
        {0, false},
        {0.0, false},
        {"", false},
        {Json::array(), false},
        {Json::object(), false},
        {true, true},
        {1, true},
        {-1, true},
        {0.5, true},
        {"0", true},
        {"false", true},
        {" ", true},
        {Json::array({0}), true},
        {Json{{"off", nullptr}}, true},
    };
    for (const auto& c : cases) {
        for (const char* name : {"strict.png", "mask.png"}) fs::remove(folder.path() / name);
        Json settings = base_settings();
        for (const char* flag : {"grain", "tiny_markers", "diagnostic_images"}) settings[flag] = c.value;
        const Json record = run_job(folder.path(), settings);
        SCOPED_TRACE(c.value.dump());
        EXPECT_EQ(record["grain"]["enabled"], c.on);
        EXPECT_EQ(fs::exists(folder.path() / "strict.png"), c.on);
        EXPECT_EQ(record["tiny_marks"]["enabled"], c.on);
        EXPECT_EQ(fs::exists(folder.path() / "mask.png"), c.on);
    }
}

TEST_F(PageJob, RecordKeepsItsKeysTypesAndSettings) {
    write_pair(plain(100, 100), plain(100, 100, fx::fill_rect({10, 10, 30, 30}, 0, 0, 0)));
    Json settings = base_settings();
    settings["before_name"] = "旧版.pdf";
    settings["something_else"] = Json{{"kept", 12.0}};
    const Json record = run_job(folder.path(), settings);
    EXPECT_EQ(keys_of(record),
              (std::vector<std::string>{
                  "settings",        "before",        "after",           "regions",          "changed_pixels",
                  "changed_percent", "boxes",         "boxes_truncated", "tiny_marks",       "grain",
                  "created_at",      "header_height", "reference_scope", "render_seconds",   "compare_seconds",
                  "total_seconds",   "reference",     "warnings",        "look_only_places", "changes_left_out",
                  "changes"}));
    EXPECT_EQ(record["settings"], settings);
    EXPECT_EQ(record["look_only_places"], 0);
    EXPECT_EQ(record["tiny_marks"].dump(), R"({"enabled":false,"rectangles":[]})");
    EXPECT_EQ(keys_of(record["grain"]), (std::vector<std::string>{"enabled", "suppressed_pixels", "strict_regions"}));
    EXPECT_EQ(record["grain"]["strict_regions"], 1);
    EXPECT_TRUE(record["reference"].is_null());
    EXPECT_EQ(record["warnings"].size(), 2u);
    EXPECT_TRUE(record["created_at"].get<std::string>().ends_with("+09:00"));

    // The file is the same record, indented by two spaces, non-ASCII as it is, no final newline.
    const std::string text = read_file(folder.path() / "result.json");
    EXPECT_EQ(Json::parse(text), record);
    EXPECT_NE(text.find("\n  \"settings\": {\n    \"page\": 1,"), std::string::npos);
    EXPECT_NE(text.find("\"before_name\": \"旧版.pdf\""), std::string::npos);
    EXPECT_NE(text.find("\"kept\": 12.0"), std::string::npos);
    EXPECT_NE(text.back(), '\n');
}

TEST_F(PageJob, AThirdWarningOnlyAboveNinetyPercent) {
    // A fully changed page of 1900 x 1800 px is exactly 90 % of its padded canvas;
    // one of 1470 x 2479 px is 90.0001 %.
    struct Case {
        double width_pt, height_pt;
        double percent;
        std::size_t warnings;
    } cases[] = {{950, 900, 90.0, 2}, {735, 1239.5, 90.0001, 3}};
    for (const Case& c : cases) {
        write_pair(plain(c.width_pt, c.height_pt),
                   plain(c.width_pt, c.height_pt, fx::fill_rect({0, 0, c.width_pt, c.height_pt}, 0, 0, 0)));
        Json settings = base_settings();
        settings["diagnostic_images"] = false;
        const Json record = run_job(folder.path(), settings);
        EXPECT_EQ(record["changed_percent"].get<double>(), c.percent);
        EXPECT_EQ(record["warnings"].size(), c.warnings);
    }
}

TEST_F(PageJob, MissingRequiredSettingFailsBeforeAnyFileIsWritten) {
    write_pair(plain(100, 100), plain(100, 100));
    for (const char* key : {"page", "dpi", "tolerance", "opacity", "border"}) {
        Json settings = base_settings();
        settings.erase(key);
        try {
            run_job(folder.path(), settings);
            ADD_FAILURE() << key;
        } catch (const tesmira::MissingSettingError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(key) + "'");
        }
        EXPECT_EQ(files_in(folder.path()), (std::set<std::string>{"before.pdf", "after.pdf"}));
    }
}

// A resolution that is not 144, 200 or 300, or no number at all, is refused before anything
// else: before the other settings are converted and before the PDFs are looked for.
TEST_F(PageJob, ResolutionIsRefusedFirst) {
    const std::string message = "解像度は144・200・300dpiから選択してください。";
    const struct {
        Json dpi;
        bool with_faults;  // "page" a text, "tolerance" no number, no PDFs in the folder
        std::string outcome;
    } cases[] = {
        {"300", true, message},
        {true, true, message},
        {false, true, message},
        {nullptr, true, message},
        {Json::array({300}), true, message},
        {Json{{"dpi", 300}}, true, message},
        {150, true, message},
        {300.5, true, message},
        {"300", false, message},
        {300.0, false, tesmira::fixtures::NO_REFUSAL},
        {144, false, tesmira::fixtures::NO_REFUSAL},
    };
    for (const auto& c : cases) {
        for (const auto& name : files_in(folder.path())) fs::remove(folder.path() / name);
        Json settings = base_settings();
        settings["dpi"] = c.dpi;
        if (c.with_faults) {
            settings["page"] = "1";
            settings["tolerance"] = "x";
        } else {
            write_pair(plain(100, 100), plain(100, 100));
        }
        EXPECT_EQ(refusal(settings), c.outcome) << settings.dump();
        if (c.outcome == message) {
            EXPECT_FALSE(fs::exists(folder.path() / "result.png"));
        }
    }
}

// Comparing a page leaves the folder alone, so that the next page may be compared while the
// previous page's files are still written and copied; saving it writes them all, a previous
// page's included, as one call would.
TEST_F(PageJob, ComparingWritesNothingAndSavingWritesEverything) {
    write_pair(plain(100, 100), plain(100, 100, fx::fill_rect({10, 10, 30, 30}, 0, 0, 0)));
    Json settings = base_settings();
    settings.update(Json{{"grain", true}, {"tiny_markers", true}});
    run_job(folder.path(), settings);
    std::map<std::string, std::string> first;
    for (const auto& name : files_in(folder.path())) first[name] = read_file(folder.path() / name);

    settings["tolerance"] = 255;  // nothing differs any more
    tesmira::engine::ComparedPage page =
        tesmira::engine::compare_page(folder.path(), tesmira::engine::read_page_settings(settings));
    for (const auto& [name, bytes] : first) EXPECT_TRUE(read_file(folder.path() / name) == bytes) << name;
    EXPECT_EQ(files_in(folder.path()).size(), first.size());

    const Json record = tesmira::engine::save_page(folder.path(), std::move(page));
    EXPECT_EQ(record["regions"], 0);
    EXPECT_EQ(Json::parse(read_file(folder.path() / "result.json")), record);
    for (const char* name : {"strict.png", "result.png", "mask.png"})  // the images that tell regions
        EXPECT_TRUE(read_file(folder.path() / name) != first[name]) << name;
}

TEST_F(PageJob, AFailingSecondCallKeepsTheFirstRecord) {
    write_pair(plain(100, 100), plain(100, 100));
    run_job(folder.path(), base_settings());
    const std::string first = read_file(folder.path() / "result.json");
    fx::write_pdf(fx::many_pages(1, plain(120, 100)), folder.path() / "after.pdf");
    EXPECT_EQ(refusal(base_settings()), "新旧PDFの仕上がりサイズが異なります。");
    EXPECT_EQ(read_file(folder.path() / "result.json"), first);
    fs::remove(folder.path() / "after.pdf");
    EXPECT_THROW(run_job(folder.path(), base_settings()), std::exception);
    EXPECT_EQ(read_file(folder.path() / "result.json"), first);
}

TEST_F(PageJob, ReferenceImageIsMeasuredAgainstTheUnmarkedResult) {
    // Two tiny changes, so that tiny markers are drawn on result.png.
    write_pair(
        plain(200, 200),
        plain(200, 200, fx::fill_rect({50, 50, 51, 51}, 0, 0, 0) + fx::fill_rect({150, 120, 151, 121}, 0, 0, 0)));
    Json settings = base_settings();
    settings["diagnostic_images"] = false;
    Json first = run_job(folder.path(), settings);
    const fs::path result_png = folder.path() / "result.png", reference = folder.path() / "reference.png";
    cv::Mat banded = tesmira::codecs::decode_image(read_file(result_png)).pixels;
    cv::Mat unbanded = banded.rowRange(first["header_height"].get<int>(), banded.rows).clone();
    tesmira::png::write_png(reference, unbanded);

    settings["tiny_markers"] = true;
    Json same = run_job(folder.path(), settings);
    ASSERT_EQ(same["tiny_marks"]["rectangles"].size(), 2u);
    EXPECT_EQ(same["reference"].dump(), R"({"same_size":true,"mean_absolute_error":0.0,"exact_pixel_percent":100.0})");

    // Transparent pixels count as white.
    cv::Mat rgba;
    cv::cvtColor(unbanded, rgba, cv::COLOR_RGB2RGBA);
    for (int x = 0; x < 40; ++x) rgba.at<cv::Vec4b>(5, x) = cv::Vec4b(0, 0, 0, 0);
    ASSERT_EQ(unbanded.at<cv::Vec3b>(5, 0), cv::Vec3b(255, 255, 255));
    const auto write_rgba = [&](const cv::Mat& image) {
        std::string samples;
        for (int r = 0; r < image.rows; ++r) samples.append(image.ptr<char>(r), std::size_t(image.cols) * 4);
        fx::image_files::write_file(
            reference, fx::image_files::png_file(std::uint32_t(image.cols), std::uint32_t(image.rows), 8, 6, samples));
    };
    write_rgba(rgba);
    EXPECT_EQ(run_job(folder.path(), settings)["reference"]["exact_pixel_percent"], 100.0);
    EXPECT_EQ(tesmira::png::probe_header(reference)->colour_type, 2) << "rewritten flattened as RGB";

    // One pixel narrower: no numbers, the file still rewritten in RGB form.
    write_rgba(rgba.colRange(0, rgba.cols - 1));
    Json narrow = run_job(folder.path(), settings)["reference"];
    EXPECT_EQ(narrow["same_size"], false);
    EXPECT_EQ(narrow["reference_size"], Json::array({unbanded.cols - 1, unbanded.rows}));
    EXPECT_EQ(narrow["message"], "画像サイズが異なるため数値比較しません。自動リサイズはしていません。");
    EXPECT_EQ(tesmira::png::probe_header(reference)->colour_type, 2);
}

TEST_F(PageJob, OversizedReferenceIsRefusedFromItsHeader) {
    write_pair(plain(100, 100), plain(100, 100));
    // A header claiming 20000 x 7501 pixels and no image data: decoding it would fail.
    const unsigned char png[] = {0x89, 'P',  'N',  'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
                                 0,    0x4E, 0x20, 0,   0,    0x1D, 0x4D, 8,    2, 0, 0, 0,  0,   0,   0,   0};
    std::ofstream(folder.path() / "reference.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png), sizeof png);
    EXPECT_EQ(refusal(base_settings()), "Photoshop比較画像が大きすぎます。1億5000万画素以内にしてください。");
    EXPECT_FALSE(fs::exists(folder.path() / "result.json"));
}

TEST_F(PageJob, NoisePassSuppressesDitherInsideAnIdenticallyPlacedImageOnly) {
    // At 144 dpi a 100 x 100 image drawn 50 pt wide maps one sample to one pixel.
    auto page_with = [](fx::Image image) {
        fx::Page page = plain(200, 200, fx::text(20, 170, 12, "Caption") + fx::draw_image(0, 50, 0, 0, 50, 60, 40));
        page.images.push_back(std::move(image));
        return page;
    };
    Json settings = base_settings();
    settings["grain"] = true;
    settings["diagnostic_images"] = false;

    write_pair(page_with(ramp_image(100, 0, 0)), page_with(ramp_image(100, 2, 0)));
    Json noise = run_job(folder.path(), settings)["grain"];
    EXPECT_EQ(keys_of(noise),
              (std::vector<std::string>{"enabled",
                                        "suppressed_pixels",
                                        "strict_regions",
                                        "matched_images",
                                        "eligible_pixels",
                                        "fallback",
                                        "filtered_regions",
                                        "max_rgb_difference"}));
    EXPECT_GT(noise["strict_regions"].get<int>(), 0);
    EXPECT_EQ(noise["filtered_regions"], 0);
    EXPECT_EQ(noise["matched_images"], 1);
    EXPECT_TRUE(noise["fallback"].is_null());
    EXPECT_EQ(noise["max_rgb_difference"], 2);

    write_pair(page_with(ramp_image(100, 0, 0)), page_with(ramp_image(100, 2, 30)));
    Json changed = run_job(folder.path(), settings);
    EXPECT_GT(changed["grain"]["filtered_regions"].get<int>(), 0) << "a real change inside the image stays";
    EXPECT_GT(changed["regions"].get<int>(), 0);

    // A clipped page falls back to strict comparison and says why.
    fx::Page clipped = page_with(ramp_image(100, 0, 0));
    clipped.content = "0 0 200 200 re W n\n" + clipped.content;
    fx::Page clipped_after = page_with(ramp_image(100, 2, 0));
    clipped_after.content = clipped.content;
    write_pair(clipped, clipped_after);
    Json fallback = run_job(folder.path(), settings)["grain"];
    EXPECT_EQ(fallback["fallback"], "クリッピングのあるページは軽減対象外です。");
    EXPECT_EQ(fallback["suppressed_pixels"], 0);
    EXPECT_EQ(fallback["filtered_regions"], fallback["strict_regions"]);
    EXPECT_TRUE(fs::exists(folder.path() / "strict.png"));
}
