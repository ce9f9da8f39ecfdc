#pragma once
#include <vector>

#include "grain/page_objects.hpp"
#include "pdf/mupdf_document.hpp"

namespace tesmira::grain {

// A rectangle in default user space. Zero width or height still marks a place (a hairline
// does); x0 > x1 marks nothing at all. MuPDF's own rectangle helpers treat both as empty.
struct Area {
    double x0, y0, x1, y1;
    bool marks() const { return x0 <= x1 && y0 <= y1; }
};
inline constexpr Area NOTHING{1, 1, 0, 0};

// The content-stream operators that paint, by what they paint.
enum class Op { path, text, image, shading, form };

struct TalliedObject {
    ObjectType type;
    Area area;
    bool simple;
};

// Sorts what MuPDF draws into the page's top-level objects: each painting operator of
// the page's own content that paints anything is one object, and a form XObject is one
// whatever its content. Soft-mask content and pattern cells are not page content; a
// pattern-filled shape counts by its outline.
//
// Every member is noexcept, as MuPDF calls them through the device and the operator
// wrappers and no C++ exception may cross it. A failure is recorded instead and makes the
// calls return false; the caller then unwinds MuPDF with fz_throw.
class ObjectTally {
public:
    // `page`: the visible page, the extent of a shading that nothing else bounds.
    explicit ObjectTally(Area page);

    struct Frame {
        Op outer;
    };
    // An operator of the page or of anything it runs (forms, patterns, soft masks) begins
    // or ends. Leaving may record an empty form, and fail for it.
    Frame enter(Op op) noexcept;
    void leave(Op op, const Frame& frame) noexcept;

    // Whether a drawing now shows on the page.
    bool counts() const noexcept;
    // Something is drawn. `clipped`: only its part inside the current clip counts, and an
    // unbounded one fills the clip (a shading).
    bool draw(ObjectType kind, fz_rect bounds, bool clipped = false) noexcept;
    // A clip is pushed. `outline`: the clip is the outline of what the current operator
    // paints (a pattern-filled path or text, a masked image), so it counts as drawn.
    bool push_clip(ObjectType kind, fz_rect bounds, bool outline) noexcept;
    void pop_clip() noexcept;
    void begin_mask() noexcept;
    bool end_mask() noexcept;
    void begin_tile() noexcept;
    void end_tile() noexcept;

    void note_image_placement(fz_matrix ctm) noexcept;
    void note_form_clip(fz_matrix ctm) noexcept;
    bool painting(Op op) const noexcept { return innermost_ == op; }

    bool failed() const noexcept;
    const char* failure_text() const noexcept;
    // Throws the recorded failure: UserError for a refusal, std::bad_alloc.
    void raise_failure() const;

    const std::vector<TalliedObject>& objects() const { return objects_; }

private:
    enum class Failure { none, too_many, no_position, out_of_memory };

    bool in_pattern_cell() const noexcept;
    int object_for(ObjectType kind) noexcept;
    bool add(ObjectType kind, const Area& area) noexcept;
    bool fail_position(ObjectType kind) noexcept;
    bool push(const Area& clip) noexcept;

    std::vector<TalliedObject> objects_;
    std::vector<Area> clips_;  // clip bounds, innermost last, above the visible page
    Failure failure_ = Failure::none;

    int depth_ = 0;     // open operators
    int painting_ = 0;  // open operators other than a form's Do
    Op innermost_ = Op::path;
    Op top_ = Op::path;
    int current_ = -1;  // the open top-level operator's object
    bool image_placed_ = false;
    bool has_origin_ = false;
    double origin_x_ = 0, origin_y_ = 0;

    int mask_depth_ = 0;
    int tile_depth_ = 0;
};

}  // namespace tesmira::grain
