#pragma once
// The worker reports one JSON object per line on its standard output. This cuts the bytes,
// as they arrive in reads of any size, into lines and decodes each line once its line feed
// has arrived.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/json.hpp"

namespace tesmira::app {

// One line as an event: a JSON object, or nothing for anything else (an empty line, text
// that is not JSON, an array, a bare number). A carriage return before the line feed is
// white space to the decoder.
std::optional<Json> decodeEventLine(std::string_view line);

class WorkerOutput {
public:
    // Adds the bytes of one read; returns the events of the lines they complete, in order.
    std::vector<Json> take(std::string_view bytes);
    // Forgets everything, including a last line that never got its line feed.
    void clear();

private:
    std::string buffer_;
    std::size_t scanned_ = 0;  // no line feed before this offset of the buffer
};

}  // namespace tesmira::app
