#include "common/json_reading.hpp"

#include <string>

namespace tesmira {

JsonTooDeep::JsonTooDeep()
    : std::runtime_error("JSON text nested deeper than " + std::to_string(MAX_JSON_DEPTH) + " levels") {}

namespace {

// The library's own value builder, refusing a list or record that opens deeper than
// MAX_JSON_DEPTH. Json::parse with a callback could refuse it too, but its builder searches a
// list for dropped values whenever one of the list's records ends, which makes long lists of
// records quadratic; this one keeps the plain builder's linear cost. The builder lives in the
// library's detail namespace: its SAX interface is public, the class that fills a value from
// it is not.
class DepthLimitedBuilder : public nlohmann::detail::json_sax_dom_parser<Json> {
public:
    using json_sax_dom_parser::json_sax_dom_parser;

    bool start_object(std::size_t length) {
        open();
        return json_sax_dom_parser::start_object(length);
    }
    bool end_object() {
        --depth_;
        return json_sax_dom_parser::end_object();
    }
    bool start_array(std::size_t length) {
        open();
        return json_sax_dom_parser::start_array(length);
    }
    bool end_array() {
        --depth_;
        return json_sax_dom_parser::end_array();
    }

private:
    void open() {
        if (++depth_ > MAX_JSON_DEPTH) throw JsonTooDeep();
    }

    int depth_ = 0;  // the lists and records open around the next value
};

}  // namespace

Json parse_json(std::string_view text, bool allow_exceptions) {
    Json value;
    DepthLimitedBuilder builder(value, allow_exceptions);
    try {
        // As Json::parse: the whole text must be one value, and a failure without exceptions
        // gives a discarded value.
        if (!Json::sax_parse(text.begin(), text.end(), &builder) || builder.is_errored())
            return Json(Json::value_t::discarded);
    } catch (const JsonTooDeep&) {
        if (allow_exceptions) throw;
        return Json(Json::value_t::discarded);
    }
    return value;
}

}  // namespace tesmira
