#include "conductor/events.hpp"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "common/json_text.hpp"

namespace tesmira::conductor {

std::string event_line(const std::string& event, const Json& fields) {
    Json record;
    record["event"] = event;
    for (const auto& [key, value] : fields.items()) record[key] = value;
    return compact_json(record);
}

void write_standard_output(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        throw OutputWriteError(errno, std::generic_category(), "standard output");
}

void emit(const std::string& event, const Json& fields) { write_standard_output(event_line(event, fields) + "\n"); }

}  // namespace tesmira::conductor
