#include "engine/compare.hpp"
#include "engine/page_changes.hpp"
#include "engine/render.hpp"
#include "engine/tiny_marks.hpp"

namespace tesmira::engine {

Json PageInfo::to_json() const {
    Json record;
    record["pages"] = pages;
    record["page"] = page;
    record["width_mm"] = width_mm;
    record["height_mm"] = height_mm;
    return record;
}

Json Box::to_json() const {
    Json record;
    record["x"] = x;
    record["y"] = y;
    record["width"] = width;
    record["height"] = height;
    return record;
}

Json CompareStats::to_json() const {
    Json record;
    record["regions"] = regions;
    record["changed_pixels"] = changed_pixels;
    record["changed_percent"] = changed_percent;
    record["boxes"] = Json::array();
    for (const Box& box : boxes) record["boxes"].push_back(box.to_json());
    record["boxes_truncated"] = boxes_truncated;
    return record;
}

Json PageChanges::to_json() const {
    Json record;
    record["changes_left_out"] = left_out;
    record["changes"] = Json::array();
    for (const Change& change : listed) {
        Json item;
        item["box"] = Json::array({change.box.x, change.box.y, change.box.width, change.box.height});
        item["box_mm"] = Json::array({change.box_mm[0], change.box_mm[1], change.box_mm[2], change.box_mm[3]});
        item["regions"] = change.regions;
        item["old_text"] = change.words.old_text;
        item["new_text"] = change.words.new_text;
        item["old_span"] = change.words.old_span;
        item["new_span"] = change.words.new_span;
        record["changes"].push_back(item);
    }
    return record;
}

Json TinyMarks::to_json() const {
    Json record;
    record["enabled"] = true;
    record["tiny_components"] = tiny_components;
    record["rectangles"] = Json::array();
    for (const TinyRectangle& r : rectangles) {
        Json rectangle;
        rectangle["x"] = r.x;
        rectangle["y"] = r.y;
        rectangle["width"] = r.width;
        rectangle["height"] = r.height;
        rectangle["components"] = r.components;
        record["rectangles"].push_back(rectangle);
    }
    record["dense_groups_omitted"] = dense_groups_omitted;
    record["limit_groups_omitted"] = limit_groups_omitted;
    record["max_component_mm"] = MAX_COMPONENT_MM;
    record["min_box_mm"] = MIN_BOX_MM;
    return record;
}

Json TinyMarks::disabled_json() {
    Json record;
    record["enabled"] = false;
    record["rectangles"] = Json::array();
    return record;
}

}  // namespace tesmira::engine
