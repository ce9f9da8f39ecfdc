#include "common/settings_schema.hpp"

namespace tesmira {

Json settings_record(const ComparisonSettings& settings) {
    Json record;
    record["dpi"] = settings.dpi;
    record["tolerance"] = settings.tolerance;
    record["opacity"] = settings.opacity;
    record["border"] = settings.border;
    record["stamp"] = settings.stamp;
    record["tiny_markers"] = settings.tiny_markers;
    record["grain"] = settings.noise;
    return record;
}

}  // namespace tesmira
