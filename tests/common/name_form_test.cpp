#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/json_text.hpp"
#include "common/name_form.hpp"
#include "common/unicode.hpp"

using namespace tesmira;

namespace {

const std::string SHIFT_JIS_NAME = "\x8c\x9f\x94\xc5.pdf";  // "検版.pdf" in Shift_JIS

bool valid_utf8(const std::string& text) {
    for (char32_t c : decode_utf8(text))
        if (is_undecodable_byte(c)) return false;
    return true;
}

}  // namespace

TEST(NameForm, WrittenAndLineSafeFormsOfNames) {
    const struct {
        std::string name, written, line_safe, shown;
    } cases[] = {
        {"表紙.pdf", "表紙.pdf", "表紙.pdf", "表紙.pdf"},
        {"C:\\jobs\\a.pdf", "C:\\jobs\\a.pdf", "C:\\jobs\\a.pdf", "C:\\jobs\\a.pdf"},  // a lone backslash stays
        {SHIFT_JIS_NAME, "\\x8c\\x9f\\x94\\xc5.pdf", "\\x8c\\x9f\\x94\\xc5.pdf", "\uFFFD\uFFFD\uFFFD\uFFFD.pdf"},
        {"\xe6\xa4", "\\xe6\\xa4", "\\xe6\\xa4", "\uFFFD\uFFFD"},                      // a cut character
        {"\xed\xa0\x80", "\\xed\\xa0\\x80", "\\xed\\xa0\\x80", "\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        // A backslash that would start an escape is doubled, so that no name reads as another.
        {"\\x8c.pdf", "\\\\x8c.pdf", "\\\\x8c.pdf", "\\x8c.pdf"},
        {"a\\\\b", "a\\\\\\b", "a\\\\\\b", "a\\\\b"},
        {"a\\\x8c", "a\\\\\\x8c", "a\\\\\\x8c", "a\\\uFFFD"},
        {"a\\\nb", "a\\\nb", "a\\\\\\x0ab", "a\\\nb"},
        // Only the line-safe form escapes what breaks or garbles a line.
        {"one\ntwo\r\t\x1b[1m.pdf",
         "one\ntwo\r\t\x1b[1m.pdf",
         "one\\x0atwo\\x0d\\x09\\x1b[1m.pdf",
         "one\ntwo\r\t\x1b[1m.pdf"},
        {"a\u0085b\u2028c\u3000d",
         "a\u0085b\u2028c\u3000d",
         "a\\xc2\\x85b\\xe2\\x80\\xa8c\u3000d",
         "a\u0085b\u2028c\u3000d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        EXPECT_EQ(written_name(c.name), c.written);
        EXPECT_EQ(line_safe_name(c.name), c.line_safe);
        EXPECT_EQ(shown_name(c.name), c.shown);
        EXPECT_EQ(name_bytes(c.written), c.name);
        EXPECT_EQ(name_bytes(c.line_safe), c.name);
    }
}

TEST(NameForm, EveryByteStringReadsBackFromItsForms) {
    std::mt19937 random(32);
    // Bytes weighted towards those that make escapes and broken characters.
    const std::string alphabet = std::string("\\x8a\n\xe6\xa4\x9c\xff\x80", 10) + "b";
    for (int round = 0; round < 20000; ++round) {
        std::string name;
        const int length = int(random() % 9);
        for (int i = 0; i < length; ++i)
            name += random() % 4 == 0 ? char(random() % 256) : alphabet[random() % alphabet.size()];
        const std::string written = written_name(name), line_safe = line_safe_name(name);
        ASSERT_TRUE(valid_utf8(written) && valid_utf8(line_safe)) << written;
        ASSERT_EQ(name_bytes(written), name) << written;
        ASSERT_EQ(name_bytes(line_safe), name) << line_safe;
        ASSERT_EQ(line_safe.find_first_of("\n\r\x0b\x0c"), std::string::npos) << line_safe;
    }
}

TEST(NameForm, JsonTextsCarryAnyNameInItsWrittenForm) {
    const Json record = {
        {"name", SHIFT_JIS_NAME}, {"pages", Json::array({Json{{"source_name", "a\\x.pdf"}}})}, {"\xff", "表紙\n.pdf"}};
    EXPECT_EQ(
        compact_json(record),
        R"({"name": "\\x8c\\x9f\\x94\\xc5.pdf", "pages": [{"source_name": "a\\\\x.pdf"}], "\\xff": "表紙\n.pdf"})");
    EXPECT_EQ(indented_json(record),
              "{\n  \"name\": \"\\\\x8c\\\\x9f\\\\x94\\\\xc5.pdf\",\n  \"pages\": [\n    {\n      \"source_name\": "
              "\"a\\\\\\\\x.pdf\"\n    }\n  ],\n  \"\\\\xff\": \"表紙\\n.pdf\"\n}");
    // Read back, each text gives the name's bytes again.
    const Json read = Json::parse(compact_json(record));
    EXPECT_EQ(name_bytes(read["name"].get<std::string>()), SHIFT_JIS_NAME);
    EXPECT_EQ(name_bytes(read["pages"][0]["source_name"].get<std::string>()), "a\\x.pdf");
}
