// Runs in a process of its own: fontconfig reads its configuration once per process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "common/json.hpp"
#include "engine/band.hpp"
#include "engine/font.hpp"
#include "fixtures/temp_folder.hpp"

TEST(BandFont, JapaneseFontIsInstalled) {
    // Without it the band's text would silently turn into boxes.
    EXPECT_NO_THROW(tesmira::engine::BandFont::find_japanese_font_file());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--without-fonts") {
        // A configuration that knows no font at all.
        tesmira::fixtures::TempFolder folder;
        const auto config = folder.path() / "fonts.conf";
        std::ofstream(config) << "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
                              << "<cachedir>" << (folder.path() / "cache").string() << "</cachedir></fontconfig>";
        setenv("FONTCONFIG_FILE", config.c_str(), 1);
        cv::Mat image(10, 200, CV_8UC3, cv::Scalar::all(0));
        try {
            tesmira::engine::annotate_result(
                image,
                tesmira::engine::read_band_settings(tesmira::Json{{"dpi", 144}, {"stamp", false}}),
                tesmira::tokyo_now());
        } catch (const std::runtime_error& error) {
            const std::string text = error.what();
            return text.find("Noto Sans CJK JP") != std::string::npos ? 0 : 1;
        }
        return 1;  // drew the band without a Japanese font
    }
    return RUN_ALL_TESTS();
}
