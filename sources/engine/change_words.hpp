#pragma once
// The words under a change: the text of the old and of the new page where the change is, and
// the smallest span of it that differs.
#include <cstddef>
#include <string>
#include <vector>

#include "pdf/page_text.hpp"

namespace tesmira::engine {

struct ChangeWords {
    // The whole lines under the change, "\n" between them; "" where there is none.
    std::string old_text, new_text;
    // The smallest span of each that differs where the change is; both "" when the words there
    // are the same, and when a page's text under the change cannot be read.
    std::string old_span, new_span;
    friend bool operator==(const ChangeWords&, const ChangeWords&) = default;
};

// The words under `area` (points from the trimmed page's top left, as pdf::TextCharacter) on
// the old page's text `before` and the new page's `after`.
//   The text: every line with a character whose box meets the area, whole, in the pages'
//   order. A character without a Unicode mapping (U+FFFD) is no text; with one under the area
//   a page's words there are unknown, and no span is given.
//   The spans: the texts are compared word by word (a word is a run of characters other than
//   white space and East Asian full-width ones, or one full-width character), white space
//   aside, so that a line break moved by a reflowed paragraph is no difference; of the
//   stretches that differ, those with a word meeting the area make the span, from the first
//   word to the last (another change on the same line has its own).
// Adds to `work` how many lines, characters and pairs of words it looked at (at most), so that
// a page's search can be bounded by a count that does not depend on the machine.
ChangeWords change_words(const std::vector<pdf::TextLine>& before, const std::vector<pdf::TextLine>& after,
                         const pdf::Rect& area, std::size_t& work);

}  // namespace tesmira::engine
