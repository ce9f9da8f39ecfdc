#pragma once
#include <string>
#include <string_view>
#include <system_error>

#include "common/json.hpp"
#include "common/progress.hpp"

namespace tesmira::conductor {

using tesmira::Progress;

// Writes one event line to standard output ("event" first, then the fields) and flushes.
void emit(const std::string& event, const Json& fields);

// A failure to write standard output: told in the system's words, as diff and cmp tell it,
// since it names none of the operator's folders.
struct OutputWriteError : std::system_error {
    using std::system_error::system_error;
};

// Writes the text to standard output and flushes; a failure (a full disk, a reader gone)
// throws OutputWriteError naming standard output.
void write_standard_output(std::string_view text);

// The text of an event line, without the line feed.
std::string event_line(const std::string& event, const Json& fields);

}  // namespace tesmira::conductor
