#pragma once
#include <stdexcept>
#include <string_view>

#include "common/json.hpp"

namespace tesmira {

// The deepest nesting of lists and records that JSON text from outside may have. Far beyond
// any record of ours; deeper text would overflow the stack while it is read, as the ordered
// map copies its values, recursively, whenever it grows.
inline constexpr int MAX_JSON_DEPTH = 512;

// Text nested deeper than MAX_JSON_DEPTH.
class JsonTooDeep : public std::runtime_error {
public:
    JsonTooDeep();
};

// Json::parse for text from outside, refusing nesting deeper than MAX_JSON_DEPTH with
// JsonTooDeep; syntax errors are the library's own. Without exceptions, any failure gives a
// discarded value, as Json::parse does.
Json parse_json(std::string_view text, bool allow_exceptions = true);

}  // namespace tesmira
