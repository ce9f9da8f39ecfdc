#include "engine/change_words.hpp"

#include <algorithm>
#include <optional>

#include "common/unicode.hpp"
#include "engine/word_difference.hpp"

namespace tesmira::engine {
namespace {

constexpr char32_t NO_MAPPING = 0xFFFD;

bool meets(const pdf::Rect& a, const pdf::Rect& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

pdf::Rect united(const pdf::Rect& a, const pdf::Rect& b) {
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

struct Word {
    std::u32string text;
    std::size_t begin = 0, end = 0;  // where it stands in the text under the change
    pdf::Rect box;
};

// The text under a change on one page, and its words.
struct TextUnder {
    std::u32string text;
    std::vector<Word> words;
    bool readable = true;  // no character without a Unicode mapping
};

// Adds the line's text on a line of its own, without the white space at its ends.
void add_line(TextUnder& under, const pdf::TextLine& line) {
    bool started = false;  // the line has text
    bool in_word = false;  // the last character continues a word of narrow characters
    std::size_t kept = under.text.size();
    for (const pdf::TextCharacter& c : line.characters) {
        if (c.code == NO_MAPPING) under.readable = false;
        if (is_space(c.code)) {
            if (started) under.text += U' ';
            in_word = false;
            continue;
        }
        if (c.code == NO_MAPPING || c.code > 0x10FFFF || is_category_c(c.code)) {
            in_word = false;
            continue;
        }
        if (!started && !under.text.empty()) under.text += U'\n';
        started = true;
        const std::size_t at = under.text.size();
        under.text += c.code;
        kept = at + 1;
        const bool wide = is_wide(c.code);
        if (in_word && !wide) {
            Word& word = under.words.back();
            word.text += c.code;
            word.end = kept;
            word.box = united(word.box, c.box);
        } else {
            under.words.push_back({std::u32string(1, c.code), at, kept, c.box});
        }
        in_word = !wide;
    }
    under.text.resize(kept);
}

TextUnder text_under(const std::vector<pdf::TextLine>& lines, const pdf::Rect& area, std::size_t& work) {
    TextUnder under;
    work += lines.size();
    for (const pdf::TextLine& line : lines) {
        if (!meets(line.box, area)) continue;
        work += 2 * line.characters.size();  // looked at, and perhaps added
        if (std::any_of(
                line.characters.begin(), line.characters.end(), [&](const auto& c) { return meets(c.box, area); }))
            add_line(under, line);
    }
    return under;
}

std::vector<std::u32string> word_texts(const TextUnder& under) {
    std::vector<std::u32string> texts;
    for (const Word& word : under.words) texts.push_back(word.text);
    return texts;
}

// The words [first, last) of a side that the change's stretches hold, from the first to the last.
struct Stretch {
    std::optional<std::size_t> first;
    std::size_t last = 0;
    void add(std::size_t begin, std::size_t end) {
        if (begin == end) return;
        if (!first) first = begin;
        last = end;
    }
    std::string text(const TextUnder& under) const {
        if (!first) return "";
        const std::size_t begin = under.words[*first].begin;
        return encode_utf8(std::u32string_view(under.text).substr(begin, under.words[last - 1].end - begin));
    }
};

bool any_meets(const TextUnder& under, std::size_t begin, std::size_t end, const pdf::Rect& area) {
    for (std::size_t i = begin; i < end; ++i)
        if (meets(under.words[i].box, area)) return true;
    return false;
}

}  // namespace

ChangeWords change_words(const std::vector<pdf::TextLine>& before, const std::vector<pdf::TextLine>& after,
                         const pdf::Rect& area, std::size_t& work) {
    const TextUnder old_under = text_under(before, area, work), new_under = text_under(after, area, work);
    ChangeWords words{encode_utf8(old_under.text), encode_utf8(new_under.text), "", ""};
    if (!old_under.readable || !new_under.readable) return words;
    work += old_under.words.size() + new_under.words.size() +
            std::min(old_under.words.size() * new_under.words.size(), MAX_COMPARED_PAIRS);
    Stretch old_stretch, new_stretch;
    for (const WordHunk& hunk : differing_words(word_texts(old_under), word_texts(new_under))) {
        if (!any_meets(old_under, hunk.before_begin, hunk.before_end, area) &&
            !any_meets(new_under, hunk.after_begin, hunk.after_end, area))
            continue;
        old_stretch.add(hunk.before_begin, hunk.before_end);
        new_stretch.add(hunk.after_begin, hunk.after_end);
    }
    words.old_span = old_stretch.text(old_under);
    words.new_span = new_stretch.text(new_under);
    return words;
}

}  // namespace tesmira::engine
