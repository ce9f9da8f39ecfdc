#include <gtest/gtest.h>

#include <map>

#include "common/unicode.hpp"
#include "engine/display_names.hpp"

using tesmira::Json;
using tesmira::engine::display_filename;
using tesmira::engine::TextMeasure;
using tesmira::engine::wrap_identity_fields;

TEST(DisplayFilename, KeepsThePrintableLastComponent) {
    struct Case {
        Json value;
        std::string expected;
    } cases[] = {
        {"/Users/a/Desktop/案件/表紙.pdf", "表紙.pdf"},
        {"C:\\jobs\\2026\\cover.pdf", "cover.pdf"},
        {"C:\\jobs/mixed\\name.pdf", "name.pdf"},
        {"folder/", "before.pdf"},
        {Json(), "before.pdf"},
        {"", "before.pdf"},
        {"a\tb\nc\rd\u200Be\uFEFFf\u202Eg\uE000h.pdf", "abcdefgh.pdf"},
        {"line\u2028sep\u3000wide.pdf", "line\u2028sep\u3000wide.pdf"},
        {"\u200B\u202E\t", "before.pdf"},
        {"Cafe\u0301 File.PDF", "Cafe\u0301 File.PDF"},  // nothing is normalised
        {12, "12"},
    };
    for (const Case& c : cases) EXPECT_EQ(display_filename(c.value, "before.pdf"), c.expected) << c.value.dump();
    // A name that is not UTF-8 shows as the desktop shows it: each such byte as U+FFFD.
    EXPECT_EQ(display_filename(std::string_view("/in/\x8c\x9f\x94\xc5.pdf"), "before.pdf"),
              "\uFFFD\uFFFD\uFFFD\uFFFD.pdf");

    std::string long_name;
    for (int i = 0; i < 300; ++i) long_name += "名";
    EXPECT_EQ(tesmira::decode_utf8(display_filename(Json(long_name), "x")).size(), 255u);
    // An empty value cleans the fallback; a fallback that cleans to nothing is returned as it is.
    EXPECT_EQ(display_filename(Json(""), "a/b\t.pdf"), "b.pdf");
    EXPECT_EQ(display_filename(Json(""), "a/\t"), "a/\t");
}

namespace {

// Widths in units: every character is one unit wide except those listed.
class UnitMeasure : public TextMeasure {
public:
    std::map<char32_t, double> widths;
    double text_width(std::string_view utf8) const override {
        double total = 0;
        for (char32_t c : tesmira::decode_utf8(utf8)) {
            auto it = widths.find(c);
            total += it == widths.end() ? 1.0 : it->second;
        }
        return total;
    }
};

}  // namespace

TEST(WrapIdentityFields, FillsGreedilyAndBreaksOnlyOverlongFields) {
    UnitMeasure measure;
    const std::string sep = "\u3000";
    struct Case {
        std::vector<std::string> fields;
        double width;
        std::vector<std::string> lines;
    } cases[] = {
        // A (4), B (12 characters), C (3) at width 10.
        {{"AAAA", "BBBBBBBBBBbb", "CCC"}, 10, {"AAAA", "BBBBBBBBBB", "bb" + sep + "CCC"}},
        {{"AAAA", "BBBBB"}, 10, {"AAAA" + sep + "BBBBB"}},  // the equal case fits
        {{"AAAA", "BBBBBB"}, 10, {"AAAA", "BBBBBB"}},       // whole field on a line of its own
        {{}, 10, {}},
        {{"abc"}, 0.5, {"a", "b", "c"}},
        {{"x", ""}, 10, {"x" + sep}},  // a line ends in the separator only after an empty field
    };
    for (const Case& c : cases) EXPECT_EQ(wrap_identity_fields(c.fields, measure, c.width), c.lines);

    // A character wider than the line still gets a line of its own.
    measure.widths[U'W'] = 20;
    EXPECT_EQ(wrap_identity_fields({"aWa"}, measure, 10), (std::vector<std::string>{"a", "W", "a"}));
}
