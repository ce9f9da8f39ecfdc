#pragma once
#include <array>
#include <filesystem>
#include <vector>

namespace tesmira::grain {

enum class ObjectType { text = 1, path = 2, image = 3, shading = 4, form = 5 };

// One top-level object of a page: one painting operator of the page's own content
// stream, a form XObject counting as one whatever it draws.
struct PageObjectRecord {
    ObjectType type;
    std::array<int, 4> box;        // x0, y0, x1, y1 in page-image pixels, x1/y1 exclusive, may be empty
    std::array<double, 4> bounds;  // left, bottom, right, top in PDF points, page space (y up)
    bool simple = false;           // image with axis-aligned, unmirrored placement
    int index = 0;                 // paint order among top-level objects
};

// The top-level objects of page `page_number` (1-based) of `path`, placed in the grid of
// the page image of `height` x `width` pixels that the renderer makes of the trimmed page.
// Refuses (UserError) a page whose own content clips, a rotated page, a page with more
// than 2000 top-level objects and an object without a finite position; errors of the PDF
// libraries pass through.
std::vector<PageObjectRecord> page_objects(const std::filesystem::path& path, int page_number, int height, int width);

}  // namespace tesmira::grain
