#include "conductor/settings.hpp"

#include "common/errors.hpp"

namespace tesmira::conductor {

const Json& DEFAULTS() {
    static const Json defaults = [] {
        Json d;
        d["dpi"] = 300;
        d["tolerance"] = 1;
        d["opacity"] = 10;
        d["border"] = 2;
        d["stamp"] = true;
        d["tiny_markers"] = false;
        d["grain"] = false;
        return d;
    }();
    return defaults;
}

Json normalized_settings(const Json& values) {
    if (!values.is_object()) throw UserError("設定の形式が不正です。");
    Json result = DEFAULTS();
    for (const auto& [key, value] : values.items())
        if (result.contains(key)) result[key] = value;

    struct Range {
        const char* key;
        long long low, high;
    };
    for (const Range& range : {Range{"tolerance", 0, 255}, Range{"opacity", 0, 100}, Range{"border", 1, 6}}) {
        const Json& v = result[range.key];
        // Integers only: neither booleans nor floating-point numbers, even integral ones.
        bool ok = v.is_number_integer();
        if (ok && v.is_number_unsigned()) {
            const unsigned long long u = v.get<unsigned long long>();
            ok = u <= static_cast<unsigned long long>(range.high) && static_cast<long long>(u) >= range.low;
        } else if (ok) {
            ok = v.get<long long>() >= range.low && v.get<long long>() <= range.high;
        }
        if (!ok) throw UserError(std::string("設定が範囲外です: ") + range.key);
    }
    const Json& dpi = result["dpi"];
    const bool dpi_ok = dpi.is_number() && (dpi.get<double>() == 144 || dpi.get<double>() == 200 || dpi.get<double>() == 300);
    if (!dpi_ok) throw UserError("解像度を確認してください。");
    for (const char* key : {"stamp", "tiny_markers", "grain"})
        if (!result[key].is_boolean()) throw UserError(std::string("設定が不正です: ") + key);
    return result;
}

}  // namespace tesmira::conductor
