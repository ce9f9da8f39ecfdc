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
    // The longest line taken. A "complete" event of thousands of pages is about a megabyte;
    // a longer line is not output of the worker, and holding it would cost memory without end.
    static constexpr std::size_t MAX_LINE_BYTES = std::size_t(32) << 20;

    // Adds the bytes of one read; returns the events of the lines they complete, in order.
    // Once a line exceeds MAX_LINE_BYTES the output counts as unreadable: that line and
    // everything after it is dropped.
    std::vector<Json> take(std::string_view bytes);
    bool overflowed() const { return overflowed_; }
    // Forgets everything, including a last line that never got its line feed.
    void clear();

private:
    std::string buffer_;
    std::size_t scanned_ = 0;  // no line feed before this offset of the buffer
    bool overflowed_ = false;
};

}  // namespace tesmira::app
