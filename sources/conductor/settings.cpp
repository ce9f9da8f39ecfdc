#include "conductor/settings.hpp"

#include <algorithm>
#include <optional>

#include "common/errors.hpp"
#include "common/settings_schema.hpp"

namespace tesmira::conductor {

const Json& DEFAULTS() {
    static const Json defaults = settings_record(DEFAULT_SETTINGS);
    return defaults;
}

Json normalized_settings(const Json& values) {
    if (!values.is_object()) throw UserError("設定の形式が不正です。");
    Json result = DEFAULTS();
    for (const auto& [key, value] : values.items())
        if (result.contains(key)) result[key] = value;

    struct Range {
        const char* key;
        SettingRange values;
    };
    for (const Range& range :
         {Range{"tolerance", TOLERANCE_RANGE}, Range{"opacity", OPACITY_RANGE}, Range{"border", BORDER_RANGE}}) {
        // Integers only: neither booleans nor floating-point numbers, even integral ones.
        const std::optional<std::int64_t> v = signed_integer(result[range.key]);
        if (!v || !range.values.contains(*v)) throw UserError(std::string("設定が範囲外です: ") + range.key);
    }
    const Json& dpi = result["dpi"];
    const bool dpi_ok = dpi.is_number() && std::any_of(RESOLUTIONS.begin(), RESOLUTIONS.end(), [&](std::int64_t known) {
                            return dpi.get<double>() == double(known);
                        });
    if (!dpi_ok) throw UserError("解像度を確認してください。");
    for (const char* key : {"stamp", "tiny_markers", "grain"})
        if (!result[key].is_boolean()) throw UserError(std::string("設定が不正です: ") + key);
    return result;
}

}  // namespace tesmira::conductor
