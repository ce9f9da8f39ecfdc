#include "engine/page_settings.hpp"

#include <limits>

#include "common/errors.hpp"
#include "engine/display_names.hpp"
#include "engine/render.hpp"

namespace tesmira::engine {
namespace {

const Json& required(const Json& settings, const char* key) {
    auto it = settings.find(key);
    if (it == settings.end()) throw MissingSettingError(key);
    return *it;
}

const Json& value_or_null(const Json& settings, const char* key) {
    static const Json null_value;
    auto it = settings.find(key);
    return it == settings.end() ? null_value : *it;
}

}  // namespace

PageSettings read_page_settings(const Json& settings) {
    const Json &page = required(settings, "page"), &dpi = required(settings, "dpi");
    const Json &tolerance = required(settings, "tolerance"), &opacity = required(settings, "opacity");
    const Json& border = required(settings, "border");
    // The resolution is refused before any other value is converted, as the renderer's first
    // check; a value that is not a number (a text, a truth value, a list) is no resolution.
    PageSettings s;
    s.dpi = dpi.is_number() ? dpi.get<double>() : std::numeric_limits<double>::quiet_NaN();
    check_resolution(s.dpi);
    s.page = page.get<int>();
    s.tolerance = tolerance.get<int>();
    s.opacity = opacity.get<int>();
    s.border = border.get<int>();
    s.noise = flag_or(settings, "grain", false);
    s.tiny_markers = flag_or(settings, "tiny_markers", false);
    s.diagnostic_images = flag_or(settings, "diagnostic_images", true);
    s.band = read_band_settings(settings);
    s.recorded = settings;
    return s;
}

BandSettings read_band_settings(const Json& settings) {
    BandSettings band;
    band.dpi = required(settings, "dpi").get<double>();
    band.before_name = display_filename(value_or_null(settings, "before_name"), "before.pdf");
    band.after_name = display_filename(value_or_null(settings, "after_name"), "after.pdf");
    band.stamp = flag_or(settings, "stamp", true);
    const auto style = settings.find("stamp_style");
    band.web_stamp = style != settings.end() && style->is_string() && style->get<std::string>() == "web";
    return band;
}

}  // namespace tesmira::engine
