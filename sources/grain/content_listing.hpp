#pragma once
#include <array>
#include <filesystem>
#include <vector>

#include "grain/page_objects.hpp"
#include "pdf/page_geometry.hpp"

namespace tesmira::grain {

struct ListedObject {
    ObjectType type;
    std::array<double, 4> bounds;  // left, bottom, right, top in default user space
    bool simple = false;
};

// Runs the content of page `index` (0-based) through MuPDF and lists its top-level objects
// in paint order. `page_box` is the visible page, the extent of a shading that nothing
// else bounds. Refuses (UserError) the 2001st object and an object without a finite
// position, stopping at the first of them.
std::vector<ListedObject> list_page_content(const std::filesystem::path& path, int index, const pdf::Rect& page_box);

}  // namespace tesmira::grain
