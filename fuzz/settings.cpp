// The worker's settings: JSON text as it comes with "--settings-json", read and normalised
// as the worker does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "common/errors.hpp"
#include "common/json_reading.hpp"
#include "conductor/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tesmira::Json settings;
    try {
        settings = tesmira::conductor::normalized_settings(tesmira::parse_json(text));
    } catch (const tesmira::UserError&) {
        return 0;
    } catch (const tesmira::Json::exception&) {
        return 0;
    } catch (const tesmira::JsonTooDeep&) {
        return 0;
    }
    // Normalised settings are complete, in the defaults' key order, and normalise to themselves.
    const tesmira::Json& defaults = tesmira::conductor::DEFAULTS();
    if (settings.size() != defaults.size()) std::abort();
    auto key = defaults.begin();
    for (auto it = settings.begin(); it != settings.end(); ++it, ++key)
        if (it.key() != key.key()) std::abort();
    if (tesmira::conductor::normalized_settings(settings) != settings) std::abort();
    return 0;
}
