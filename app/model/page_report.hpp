#pragma once
// A page report of the worker's "complete" event read into a result row.

#include <optional>

#include "app/model/records.hpp"
#include "common/json.hpp"

namespace tesmira::app {

// The row of `report`; nothing without an integer "page" and a text "file". The regions' boxes
// and the changes' boxes are moved below the report's "header_height", onto the result page;
// what is not a box is left out, and so is a change without one. Without a list "changes" the
// row has none (an older worker).
std::optional<ProofPage> resultRow(const Json& report);

}  // namespace tesmira::app
