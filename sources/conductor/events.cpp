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

void emit(const std::string& event, const Json& fields) {
    const std::string line = event_line(event, fields) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0)
        throw std::system_error(errno, std::generic_category(), "standard output");
}

}  // namespace tesmira::conductor
