// A compared page's changes: the regions grouped, each change's place on the page in
// millimetres and the words under it on the old and the new page.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "common/unicode.hpp"
#include "engine/page_job.hpp"
#include "engine/word_difference.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fx = tesmira::fixtures;
namespace engine = tesmira::engine;
using tesmira::Json;

namespace {

constexpr double MM_PER_POINT = 25.4 / 72;

fx::Page plain(double width_pt, double height_pt, std::string content = "") {
    fx::Page page;
    page.media = {0, 0, width_pt, height_pt};
    page.content = std::move(content);
    return page;
}

// The words of a change as one record, for comparing in one go.
Json words(const Json& change) {
    Json w;
    for (const char* key : {"old_text", "new_text", "old_span", "new_span"}) w[key] = change.at(key);
    return w;
}
Json words(const std::string& old_text, const std::string& new_text, const std::string& old_span,
           const std::string& new_span) {
    return Json{{"old_text", old_text}, {"new_text", new_text}, {"old_span", old_span}, {"new_span", new_span}};
}

// Helvetica's advance widths (per 1000) of the characters the Latin lines below set.
double helvetica_width(const std::string& text, double size) {
    double units = 0;
    for (char c : text)
        units += c == ' ' || c == ',' ? 278 : c == 'P' ? 667 : c == 'r' ? 333 : c == 'i' ? 222 : c == 'c' ? 500 : 556;
    return units * size / 1000;
}

// A paragraph of `words` set `per_line` words to a line, 9 pt Helvetica from (x, y) down.
std::string paragraph(const std::vector<std::string>& words, std::size_t per_line, double x, double y) {
    std::string content;
    for (std::size_t first = 0; first < words.size(); first += per_line) {
        std::string line;
        for (std::size_t i = first; i < words.size() && i < first + per_line; ++i)
            line += (line.empty() ? "" : " ") + words[i];
        content += fx::text(x, y - 12 * double(first / per_line), 9, line);
    }
    return content;
}

std::vector<std::string> sample_words(int count) {
    const char* const vocabulary[] = {"proof", "plate", "ink", "paper", "press", "margin", "colour", "sheet", "trim"};
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(vocabulary[(i * 7) % 9] + std::to_string(i % 13));
    return out;
}

class PageChanges : public ::testing::Test {
protected:
    fx::TempFolder folder;

    // The page compared at `dpi`: its changes' record, and its regions' count and whether the
    // boxes stopped at 200.
    Json compared(const fx::Page& before, const fx::Page& after, int dpi = 300) {
        fx::write_pdf(fx::many_pages(1, before), folder.path() / "before.pdf");
        fx::write_pdf(fx::many_pages(1, after), folder.path() / "after.pdf");
        const Json settings{
            {"page", 1}, {"dpi", dpi}, {"tolerance", 1}, {"opacity", 10}, {"border", 2}, {"diagnostic_images", false}};
        const engine::ComparedPage page = engine::compare_page(folder.path(), engine::read_page_settings(settings));
        Json record = page.changes.to_json();
        record["regions"] = page.stats.regions;
        record["boxes_truncated"] = page.stats.boxes_truncated;
        return record;
    }
};

}  // namespace

TEST(WordDifference, StretchesOutsideTheCommonWords) {
    using W = std::vector<std::u32string>;
    struct Case {
        const char* name;
        W before, after;
        std::vector<engine::WordHunk> hunks;
    } cases[] = {
        {"the same", {U"a", U"b"}, {U"a", U"b"}, {}},
        {"one word replaced", {U"price", U"1,280", U"yen"}, {U"price", U"1,290", U"yen"}, {{1, 2, 1, 2}}},
        {"one word deleted", {U"the", U"quick", U"fox"}, {U"the", U"fox"}, {{1, 2, 1, 1}}},
        {"one word inserted", {U"a", U"c"}, {U"a", U"b", U"c"}, {{1, 1, 1, 2}}},
        {"a repeated word deleted where it was", {U"x", U"a", U"x", U"b"}, {U"x", U"a", U"b"}, {{2, 3, 2, 2}}},
        {"two edits apart",
         {U"a", U"b", U"c", U"d", U"e"},
         {U"a", U"B", U"c", U"d", U"E"},
         {{1, 2, 1, 2}, {4, 5, 4, 5}}},
        {"everything new", {U"a"}, {U"b", U"c"}, {{0, 1, 0, 2}}},
    };
    for (const Case& c : cases) EXPECT_EQ(engine::differing_words(c.before, c.after), c.hunks) << c.name;

    // Too long to compare word by word: what lies between the common ends is one stretch.
    W before(1500, U"w"), after(1500, U"w");
    before[10] = U"old";
    after[1400] = U"new";
    EXPECT_EQ(engine::differing_words(before, after), (std::vector<engine::WordHunk>{{10, 1401, 10, 1401}}));
}

// A one-digit price change in Latin text: the place of the digit on the page, the whole line
// on both pages, and the word that differs.
TEST_F(PageChanges, ADigitInLatinText) {
    const std::string old_line = "Price 1,280 yen", new_line = "Price 1,290 yen";
    const Json record =
        compared(plain(300, 200, fx::text(100, 150, 12, old_line)), plain(300, 200, fx::text(100, 150, 12, new_line)));
    EXPECT_EQ(record.at("changes_left_out"), 0);
    ASSERT_EQ(record.at("changes").size(), 1u);
    const Json& change = record.at("changes").at(0);
    EXPECT_EQ(words(change), words(old_line, new_line, "1,280", "1,290"));
    EXPECT_EQ(change.at("regions"), record.at("regions"));
    // Within the advance of the digit, on the line's baseline.
    const double digit_left = (100 + helvetica_width("Price 1,2", 12)) * MM_PER_POINT;
    const double digit_right = digit_left + helvetica_width("8", 12) * MM_PER_POINT;
    const Json& mm = change.at("box_mm");
    EXPECT_GE(mm[0].get<double>(), digit_left);
    EXPECT_LE(mm[0].get<double>() + mm[2].get<double>(), digit_right);
    EXPECT_LE(mm[1].get<double>() + mm[3].get<double>(), (200 - 150 + 0.5) * MM_PER_POINT);
    EXPECT_GE(mm[1].get<double>(), (200 - 150 - 12) * MM_PER_POINT);
    // The pixel box is the same place on the canvas: 50 pixels of margin, 300 / 25.4 a millimetre.
    EXPECT_NEAR(change.at("box")[0].get<int>(), 50 + mm[0].get<double>() * 300 / 25.4, 0.01);
    EXPECT_NEAR(change.at("box")[3].get<int>(), mm[3].get<double>() * 300 / 25.4, 0.01);
}

// Japanese text set in an embedded CJK font: a kana, a deleted word, a digit among kanji.
TEST_F(PageChanges, JapaneseAndLatinText) {
    struct Case {
        const char* name;
        std::string before, after, old_span, new_span;
    } cases[] = {
        {"one kana", "週末のセール", "週末もセール", "の", "も"},
        {"a word deleted", "今月と週末のセールです", "今月とセールです", "週末の", ""},
        {"a digit among kanji", "価格1,280円（税込）", "価格1,290円（税込）", "1,280", "1,290"},
    };
    for (const Case& c : cases) {
        fx::Page before = plain(300, 100), after = plain(300, 100);
        fx::add_cjk_text(before, 20, 50, 14, c.before);
        fx::add_cjk_text(after, 20, 50, 14, c.after);
        const Json record = compared(before, after);
        ASSERT_EQ(record.at("changes").size(), 1u) << c.name;
        EXPECT_EQ(words(record.at("changes").at(0)), words(c.before, c.after, c.old_span, c.new_span)) << c.name;
    }
}

// Two changes on one line, far apart: each names its own word.
TEST_F(PageChanges, EachChangeOfALineHasItsOwnSpan) {
    const std::string old_line = "12 items at 1,280 yen and then more words before 980 yen";
    const std::string new_line = "12 items at 1,290 yen and then more words before 990 yen";
    const Json record =
        compared(plain(400, 100, fx::text(10, 50, 10, old_line)), plain(400, 100, fx::text(10, 50, 10, new_line)));
    ASSERT_EQ(record.at("changes").size(), 2u);
    EXPECT_EQ(words(record.at("changes").at(0)), words(old_line, new_line, "1,280", "1,290"));
    EXPECT_EQ(words(record.at("changes").at(1)), words(old_line, new_line, "980", "990"));
}

// The catalogue's case: a one-digit price at the top, and below it a paragraph that a deleted
// word reflows, every following line moved, hundreds of regions. Every region is in a change,
// the top change among them although the boxes stop at 200, and the paragraph's change names
// the deleted word, not every moved line.
TEST_F(PageChanges, ATopDigitAndAReflowedParagraph) {
    std::vector<std::string> text = sample_words(150);
    std::vector<std::string> shorter = text;
    shorter.erase(shorter.begin() + 23);  // the fourth word of the third line
    const fx::Page before = plain(595, 842, fx::text(60, 780, 12, "Price 1,280 yen") + paragraph(text, 10, 60, 600));
    const fx::Page after = plain(595, 842, fx::text(60, 780, 12, "Price 1,290 yen") + paragraph(shorter, 10, 60, 600));
    const Json record = compared(before, after, 144);

    EXPECT_GT(record.at("regions").get<int>(), 200);
    EXPECT_TRUE(record.at("boxes_truncated").get<bool>());
    const Json& changes = record.at("changes");
    ASSERT_EQ(changes.size(), 2u) << changes.dump();
    EXPECT_EQ(changes[0].at("old_span"), "1,280");
    EXPECT_EQ(changes[0].at("new_span"), "1,290");
    EXPECT_EQ(changes[1].at("old_span"), text[23]);
    EXPECT_EQ(changes[1].at("new_span"), "");
    EXPECT_EQ(changes[0].at("regions").get<int>() + changes[1].at("regions").get<int>(), record.at("regions"));
    // The moved lines are the change's text, from the third line on.
    const std::string old_text = changes[1].at("old_text");
    EXPECT_EQ(old_text.rfind(text[20] + " " + text[21], 0), 0u) << old_text;
    EXPECT_EQ(std::count(old_text.begin(), old_text.end(), '\n'), 12);
}

// A Japanese paragraph, twenty characters to a line, from which a word is deleted: every
// following line moves, and the change names the word.
TEST_F(PageChanges, AReflowedJapaneseParagraph) {
    const std::u32string filler = U"今月の新商品と定番品をまとめてご案内します。店頭でお確かめください。";
    std::u32string text;
    for (int i = 0; i < 6; ++i) text += filler;
    std::u32string shorter = text;
    const std::size_t at = 25;
    text.insert(at, U"週末の");
    const auto set = [](const std::u32string& characters) {
        fx::Page page = plain(420, 400);
        for (std::size_t first = 0, line = 0; first < characters.size(); first += 20, ++line)
            fx::add_cjk_text(page, 20, 380 - 16 * double(line), 12, tesmira::encode_utf8(characters.substr(first, 20)));
        return page;
    };
    const Json record = compared(set(text), set(shorter));
    ASSERT_EQ(record.at("changes").size(), 1u) << record.dump();
    EXPECT_EQ(record.at("changes")[0].at("old_span"), "週末の");
    EXPECT_EQ(record.at("changes")[0].at("new_span"), "");
}

// Where no text is, or the text cannot be read (a font that maps its glyphs to no character),
// a change has no words, and none are made up from what can be read.
TEST_F(PageChanges, NoTextAndTextThatCannotBeRead) {
    {
        const Json record = compared(plain(200, 200, fx::fill_rect({50, 50, 60, 60}, 0, 0, 0)),
                                     plain(200, 200, fx::fill_rect({52, 50, 62, 60}, 0, 0, 0)));
        ASSERT_EQ(record.at("changes").size(), 1u);
        EXPECT_EQ(words(record.at("changes").at(0)), words("", "", "", ""));
    }
    fx::Page before = plain(300, 100), after = plain(300, 100);
    fx::add_cjk_text(before, 20, 50, 14, "価格1,280円");
    fx::add_cjk_text(after, 20, 50, 14, "価格1,290円");
    after.cjk_without_unicode = true;
    Json record = compared(before, after);
    ASSERT_EQ(record.at("changes").size(), 1u);
    EXPECT_EQ(words(record.at("changes").at(0)), words("価格1,280円", "", "", ""));
    before.cjk_without_unicode = true;
    record = compared(before, after);
    ASSERT_EQ(record.at("changes").size(), 1u);
    EXPECT_EQ(words(record.at("changes").at(0)), words("", "", "", ""));
}

// Where a rectangle of the page (user space, points) is shown, as {left, top, width, height}
// in points from the top left of the trimmed page after its rotation (clockwise).
std::array<double, 4> shown(const fx::Rect& r, int rotate, const fx::Rect& page) {
    switch (rotate) {
        case 90:
            return {r.y0 - page.y0, r.x0 - page.x0, r.y1 - r.y0, r.x1 - r.x0};
        case 180:
            return {page.x1 - r.x1, r.y0 - page.y0, r.x1 - r.x0, r.y1 - r.y0};
        case 270:
            return {page.y1 - r.y1, page.x1 - r.x1, r.y1 - r.y0, r.x1 - r.x0};
        default:
            return {r.x0 - page.x0, page.y1 - r.y1, r.x1 - r.x0, r.y1 - r.y0};
    }
}

// The millimetres are measured on the page as it is printed and shown: from its trim box's top
// left, after its rotation; the words are found there too.
TEST_F(PageChanges, RotatedAndTrimmedPagesMapToTheTrimBox) {
    const fx::Rect media{0, 0, 400, 300}, trim{20, 30, 380, 280};
    for (const int rotate : {0, 90, 180, 270})
        for (const bool trimmed : {false, true}) {
            SCOPED_TRACE("rotated by " + std::to_string(rotate) + (trimmed ? ", trimmed" : ""));
            // A 12-pt square that grows by 2 pt at its top, beside "1,280" that becomes "1,290".
            fx::Page before =
                plain(400, 300, fx::fill_rect({100, 148, 112, 160}, 0, 0, 0) + fx::text(120, 150, 10, "at 1,280"));
            fx::Page after =
                plain(400, 300, fx::fill_rect({100, 148, 112, 162}, 0, 0, 0) + fx::text(120, 150, 10, "at 1,290"));
            before.rotate = after.rotate = rotate;
            if (trimmed) before.trim = after.trim = trim;
            const Json record = compared(before, after);
            const Json& changes = record.at("changes");
            ASSERT_EQ(changes.size(), 2u) << changes.dump();
            const auto strip = std::find_if(
                changes.begin(), changes.end(), [](const Json& change) { return change.at("old_text") == ""; });
            ASSERT_NE(strip, changes.end());
            const std::array<double, 4> expected = shown({100, 160, 112, 162}, rotate, trimmed ? trim : media);
            for (std::size_t i = 0; i < 4; ++i)
                EXPECT_NEAR(strip->at("box_mm")[i].get<double>(), expected[i] * MM_PER_POINT, 0.1) << i;
            const auto word = strip == changes.begin() ? changes.begin() + 1 : changes.begin();
            EXPECT_EQ(words(*word), words("at 1,280", "at 1,290", "1,280", "1,290"));
        }
}

// A page lists at most 5,000 changes and counts the rest; and searching its text for their
// words takes at most a fixed count of tests, after which a change's texts are "…".
TEST_F(PageChanges, BeyondTheBoundTheRestAreCounted) {
    std::string lines;
    // Ten thousand lines of a letter each, below the dots.
    for (int line = 0; line < 10000; ++line)
        lines += fx::text(2 + 86 * (line % 10), 95 - 0.09 * (line / 10) - 0.005 * (line % 10), 1, "a");
    std::string dots;
    // Dots of 2 pt, 10 pt apart: further than 3 mm.
    for (int dot = 0; dot < 5100; ++dot) {
        const double x = 5 + 12 * (dot % 72), y = 995 - 12 * (dot / 72);
        dots += fx::fill_rect({x, y - 2, x + 2, y}, 0, 0, 0);
    }
    const Json record = compared(plain(864, 1000, lines), plain(864, 1000, lines + dots), 144);
    EXPECT_EQ(record.at("regions"), 5100);
    EXPECT_EQ(record.at("changes").size(), engine::MAX_LISTED_CHANGES);
    EXPECT_EQ(record.at("changes_left_out"), 100);
    EXPECT_NE(record.at("changes").front().at("old_text"), "…");
    EXPECT_EQ(words(record.at("changes").back()), words("…", "…", "", ""));
    // In reading order: the first row, left to right.
    EXPECT_LT(record.at("changes")[0].at("box")[0].get<int>(), record.at("changes")[1].at("box")[0].get<int>());
    EXPECT_EQ(record.at("changes")[0].at("box")[1], record.at("changes")[1].at("box")[1]);
}

// A page report carries at most 1,000 characters a text and about 100,000 for the page: a long
// text is cut with "…", and once the page's share is used, the further changes' texts are "…"
// (and no text stays none).
TEST(BoundWords, LongTextsAreCutAndAPageCarriesAtMostItsShare) {
    std::string kanji;
    for (int i = 0; i < 800; ++i) kanji += "字";
    std::vector<engine::Change> changes(150);
    changes[0].words = {std::string(1500, 'x'), "", std::string(1200, 'y'), ""};
    for (std::size_t i = 1; i < changes.size(); ++i) changes[i].words = {kanji, kanji, "", ""};
    engine::bound_words(changes);

    EXPECT_EQ(changes[0].words,
              (engine::ChangeWords{std::string(1000, 'x') + "…", "", std::string(1000, 'y') + "…", ""}));
    // 2,002 characters for the first, 1,600 for each of the next 62: 101,202 once the 63rd is
    // kept whole, and the next is the first left out.
    EXPECT_EQ(changes[62].words, (engine::ChangeWords{kanji, kanji, "", ""}));
    EXPECT_EQ(changes[63].words, (engine::ChangeWords{"…", "…", "", ""}));
    EXPECT_EQ(changes[149].words, (engine::ChangeWords{"…", "…", "", ""}));
}
