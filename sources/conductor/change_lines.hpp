#pragma once
#include <string>

#include "common/json.hpp"

namespace tesmira::conductor {

// What tesmira-compare says of a changed page's changes, from its page report's "changes" and
// "changes_left_out": one line a change, with its place and size in millimetres on the page
// and its words,
//   `  page 3: change at 190.5, 79.1 mm (1.5 × 2.5 mm): "1,280" → "1,290"`
// ending `"…" deleted` or `"…" inserted` where only one page has the differing words,
// `text "…" unchanged` where the words under it are the same, `text "…"` where they differ but
// cannot be told apart (unreadable on a page), `words left out` where the report left them out
// (its text is "…"), and nothing after the size without text; then
// `  page 3: N more changes not listed` when the page left some out. Texts are on one line,
// cut after 60 characters with "…".
std::string change_lines(const Json& page);

}  // namespace tesmira::conductor
