#include "conductor/page_regions.hpp"

namespace tesmira::conductor {
namespace {

constexpr const char* REGION_KEYS[] = {
    "boxes", "boxes_truncated", "header_height", "look_only_places", "changes_left_out", "changes"};

}  // namespace

Json page_regions(const Json& engine_record) {
    Json regions = Json::object();
    for (const char* key : REGION_KEYS) regions[key] = engine_record.at(key);
    return regions;
}

Json take_page_regions(Json& report) {
    Json regions = Json::object();
    for (const char* key : REGION_KEYS)
        if (const auto it = report.find(key); it != report.end()) {
            regions[key] = std::move(*it);
            report.erase(key);
        }
    return regions;
}

}  // namespace tesmira::conductor
