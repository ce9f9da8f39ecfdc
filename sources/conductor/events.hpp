#pragma once
#include <string>

#include "common/json.hpp"
#include "common/progress.hpp"

namespace tesmira::conductor {

using tesmira::Progress;

// Writes one event line to standard output ("event" first, then the fields) and flushes.
void emit(const std::string& event, const Json& fields);

// The text of an event line, without the line feed.
std::string event_line(const std::string& event, const Json& fields);

}  // namespace tesmira::conductor
