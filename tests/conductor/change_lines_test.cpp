// What tesmira-compare says of a changed page's changes.
#include <gtest/gtest.h>

#include "conductor/change_lines.hpp"

using tesmira::Json;
using tesmira::conductor::change_lines;

namespace {

Json change(const std::string& old_text, const std::string& new_text, const std::string& old_span,
            const std::string& new_span) {
    return Json{{"box", {1000, 600, 18, 30}},
                {"box_mm", {190.5, 79.125, 1.524, 2.54}},
                {"regions", 3},
                {"old_text", old_text},
                {"new_text", new_text},
                {"old_span", old_span},
                {"new_span", new_span}};
}

}  // namespace

TEST(ChangeLines, OneLineAChangeWithPlaceSizeAndWords) {
    const std::string at = "  page 3: change at 190.5, 79.1 mm (1.5 × 2.5 mm)";
    const std::string long_line(70, 'x');
    const struct {
        const char* what;
        Json change;
        std::string line;
    } cases[] = {
        {"a word changed",
         change("Price 1,280 yen", "Price 1,290 yen", "1,280", "1,290"),
         at + ": \"1,280\" → \"1,290\""},
        {"a word deleted", change("今月と週末のセール", "今月とセール", "週末の", ""), at + ": \"週末の\" deleted"},
        {"a word inserted", change("a c", "a b c", "", "b"), at + ": \"b\" inserted"},
        {"the same words", change("価格\n1,280円", "価格\n1,280円", "", ""), at + ": text \"価格 1,280円\" unchanged"},
        {"words that cannot be told apart", change("価格1,280円", "", "", ""), at + ": text \"価格1,280円\""},
        {"no text", change("", "", "", ""), at},
        {"words the report left out", change("…", "…", "", ""), at + ": words left out"},
        {"spans the report left out", change("…", "…", "…", "…"), at + ": words left out"},
        {"a long span cut", change(long_line, "", long_line, ""), at + ": \"" + std::string(60, 'x') + "…\" deleted"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(change_lines(Json{{"page", 3}, {"changes_left_out", 0}, {"changes", {c.change}}}), c.line + "\n")
            << c.what;
}

TEST(ChangeLines, ChangesInOrderThenThoseLeftOut) {
    const Json page{
        {"page", 2}, {"changes_left_out", 12}, {"changes", {change("", "", "", ""), change("a", "b", "a", "b")}}};
    EXPECT_EQ(change_lines(page),
              "  page 2: change at 190.5, 79.1 mm (1.5 × 2.5 mm)\n"
              "  page 2: change at 190.5, 79.1 mm (1.5 × 2.5 mm): \"a\" → \"b\"\n"
              "  page 2: 12 more changes not listed\n");
    EXPECT_EQ(change_lines(Json{{"page", 1}, {"regions", 0}}), "");
}
