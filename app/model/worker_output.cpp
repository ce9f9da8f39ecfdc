#include "app/model/worker_output.hpp"

#include "common/json_reading.hpp"

namespace tesmira::app {

std::optional<Json> decodeEventLine(std::string_view line) {
    Json value = parse_json(line, false);
    if (!value.is_object()) return std::nullopt;  // a discarded parse is not an object either
    return value;
}

std::vector<Json> WorkerOutput::take(std::string_view bytes) {
    std::vector<Json> events;
    if (overflowed_) return events;
    buffer_.append(bytes);
    std::size_t start = 0;
    bool tooLong = false;
    // A long line may arrive in many reads; scanning resumes where the last read ended.
    for (std::size_t end; (end = buffer_.find('\n', std::max(start, scanned_))) != std::string::npos; start = end + 1) {
        if ((tooLong = end - start > MAX_LINE_BYTES)) break;
        if (auto event = decodeEventLine(std::string_view(buffer_).substr(start, end - start)))
            events.push_back(std::move(*event));
    }
    buffer_.erase(0, start);
    scanned_ = buffer_.size();
    if (tooLong || buffer_.size() > MAX_LINE_BYTES) {
        overflowed_ = true;
        buffer_.clear();
        buffer_.shrink_to_fit();
        scanned_ = 0;
    }
    return events;
}

void WorkerOutput::clear() {
    buffer_.clear();
    buffer_.shrink_to_fit();
    scanned_ = 0;
    overflowed_ = false;
}

}  // namespace tesmira::app
