#pragma once
#include <string>

#include "common/json.hpp"

namespace tesmira {

// Both write every text, keys included, in the written form of names (name_form.hpp): the
// texts carry file names and paths, which are bytes, so any value can be written and read back.

// One-line JSON with ", " between items and ": " after keys, non-ASCII text as it is:
// the form of event lines and of "error.json".
std::string compact_json(const Json& value);

// Two-space indented JSON with non-ASCII text as it is and no final newline: the form of
// the job files ("result.json", "検版情報.json").
std::string indented_json(const Json& value);

}  // namespace tesmira
