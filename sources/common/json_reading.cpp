#include "common/json_reading.hpp"

#include <string>

namespace tesmira {

JsonTooDeep::JsonTooDeep()
    : std::runtime_error("JSON text nested deeper than " + std::to_string(MAX_JSON_DEPTH) + " levels") {}

Json parse_json(std::string_view text, bool allow_exceptions) {
    // `depth` counts the lists and records around the one that starts.
    const Json::parser_callback_t limit = [](int depth, Json::parse_event_t event, Json&) {
        const bool opens = event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start;
        if (opens && depth >= MAX_JSON_DEPTH) throw JsonTooDeep();
        return true;
    };
    try {
        return Json::parse(text.begin(), text.end(), limit, allow_exceptions);
    } catch (const JsonTooDeep&) {
        if (allow_exceptions) throw;
        return Json(Json::value_t::discarded);
    }
}

}  // namespace tesmira
