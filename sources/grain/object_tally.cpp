#include "grain/object_tally.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#include "common/errors.hpp"

namespace tesmira::grain {
namespace {

constexpr std::size_t MAX_OBJECTS = 2000;
constexpr const char* TOO_MANY = "オブジェクト数が多いため厳密比較に戻します。";
constexpr const char* NO_POSITION = "位置を確定できません。";

Area unite(const Area& a, const Area& b) {
    if (!a.marks()) return b;
    if (!b.marks()) return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

Area intersect(const Area& a, const Area& b) {
    if (!a.marks() || !b.marks()) return NOTHING;
    const Area r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
    return r.marks() ? r : NOTHING;
}

// False when MuPDF could not place the rectangle: a non-finite value, or its "infinite"
// rectangle, which is made of huge but finite floats.
bool to_area(fz_rect r, Area& out) {
    if (fz_is_infinite_rect(r) || !std::isfinite(r.x0) || !std::isfinite(r.y0) || !std::isfinite(r.x1) ||
        !std::isfinite(r.y1))
        return false;
    out = (r.x0 <= r.x1 && r.y0 <= r.y1) ? Area{r.x0, r.y0, r.x1, r.y1} : NOTHING;
    return true;
}

ObjectType type_of(Op op) {
    switch (op) {
        case Op::path:
            return ObjectType::path;
        case Op::text:
            return ObjectType::text;
        case Op::image:
            return ObjectType::image;
        case Op::shading:
            return ObjectType::shading;
        case Op::form:
            break;
    }
    return ObjectType::form;
}

}  // namespace

ObjectTally::ObjectTally(Area page) {
    objects_.reserve(MAX_OBJECTS);  // so that adding an object never allocates
    clips_.reserve(64);
    clips_.push_back(page);
}

ObjectTally::Frame ObjectTally::enter(Op op) noexcept {
    const Frame frame{innermost_};
    if (op != Op::form) ++painting_;
    innermost_ = op;
    if (depth_++ == 0) {
        top_ = op;
        current_ = -1;
        image_placed_ = false;
        has_origin_ = false;
    }
    return frame;
}

void ObjectTally::leave(Op op, const Frame& frame) noexcept {
    if (op != Op::form) --painting_;
    innermost_ = frame.outer;
    if (--depth_ > 0) return;
    // A form that draws nothing still counts, as a point at its origin.
    if (top_ == Op::form && current_ < 0 && has_origin_ && !failed()) {
        const int index = object_for(ObjectType::form);
        if (index >= 0) objects_[std::size_t(index)].area = {origin_x_, origin_y_, origin_x_, origin_y_};
    }
    current_ = -1;
}

bool ObjectTally::counts() const noexcept { return !failed() && mask_depth_ == 0 && tile_depth_ == 0; }

bool ObjectTally::draw(ObjectType kind, fz_rect bounds, bool clipped) noexcept {
    if (!counts()) return !failed();
    Area area;
    if (clipped && fz_is_infinite_rect(bounds)) {
        area = clips_.back();
    } else {
        if (!to_area(bounds, area)) return fail_position(kind);
        // Drawing inside a pattern cell paints only where the patterned shape is.
        if (clipped || in_pattern_cell()) area = intersect(area, clips_.back());
    }
    return add(kind, area);
}

bool ObjectTally::push_clip(ObjectType kind, fz_rect bounds, bool outline) noexcept {
    if (failed()) return false;
    Area area;
    const bool placed = to_area(bounds, area);
    // A clip that cannot be placed narrows nothing.
    if (!push(placed ? intersect(area, clips_.back()) : clips_.back())) return false;
    if (!outline || !counts() || in_pattern_cell()) return true;
    if (!placed) return fail_position(kind);
    return add(kind, area);
}

void ObjectTally::pop_clip() noexcept {
    if (clips_.size() > 1) clips_.pop_back();
}

// A soft mask's content is not on the page; once complete, the mask clips like a clip
// path until it is popped.
void ObjectTally::begin_mask() noexcept { ++mask_depth_; }
bool ObjectTally::end_mask() noexcept {
    --mask_depth_;
    return push(clips_.back());
}

// A tiling pattern's cell is drawn in pattern space and tells nothing about where the
// page shows it; the patterned shape counted already, as the clip around the tile.
void ObjectTally::begin_tile() noexcept { ++tile_depth_; }
void ObjectTally::end_tile() noexcept { --tile_depth_; }

// The first placement of an image by an image operator of the page itself decides
// whether that image is simple. MuPDF hands images over flipped to top-down (c and d
// negated), so the placement written in the file is undone here.
void ObjectTally::note_image_placement(fz_matrix ctm) noexcept {
    if (depth_ != 1 || innermost_ != Op::image || current_ < 0 || image_placed_) return;
    image_placed_ = true;
    const double a = ctm.a, b = ctm.b, c = -ctm.c, d = -ctm.d;
    objects_[std::size_t(current_)].simple = std::abs(b) < 1e-6 && std::abs(c) < 1e-6 && a > 0 && d > 0;
}

// MuPDF clips a form's content to its bounding box first, drawn with the form's full
// matrix.
void ObjectTally::note_form_clip(fz_matrix ctm) noexcept {
    if (depth_ != 1 || innermost_ != Op::form || has_origin_ || !counts()) return;
    if (!std::isfinite(ctm.e) || !std::isfinite(ctm.f)) return;
    has_origin_ = true;
    origin_x_ = ctm.e;
    origin_y_ = ctm.f;
}

bool ObjectTally::failed() const noexcept { return failure_ != Failure::none; }

const char* ObjectTally::failure_text() const noexcept {
    switch (failure_) {
        case Failure::too_many:
            return TOO_MANY;
        case Failure::no_position:
            return NO_POSITION;
        case Failure::out_of_memory:
            return "out of memory while listing page objects";
        case Failure::none:
            break;
    }
    return "";
}

void ObjectTally::raise_failure() const {
    switch (failure_) {
        case Failure::none:
            return;
        case Failure::too_many:
            throw UserError(TOO_MANY);
        case Failure::no_position:
            throw UserError(NO_POSITION);
        case Failure::out_of_memory:
            throw std::bad_alloc();
    }
}

// Inside a pattern cell when an operator other than a form's Do is open below the one
// that draws.
bool ObjectTally::in_pattern_cell() const noexcept {
    const int below = painting_ - (depth_ > 0 && innermost_ != Op::form ? 1 : 0);
    return below > 0;
}

// The object that a drawing belongs to: the one of the open top-level operator, made on
// its first drawing; outside any operator each drawing is an object of its own.
int ObjectTally::object_for(ObjectType kind) noexcept {
    if (depth_ > 0 && current_ >= 0) return current_;
    if (objects_.size() == MAX_OBJECTS) {
        failure_ = Failure::too_many;
        return -1;
    }
    objects_.push_back({depth_ > 0 ? type_of(top_) : kind, NOTHING, false});
    const int index = int(objects_.size()) - 1;
    if (depth_ > 0) current_ = index;
    return index;
}

bool ObjectTally::add(ObjectType kind, const Area& area) noexcept {
    if (!area.marks()) return true;  // paints nothing, so it is no object either
    const int index = object_for(kind);
    if (index < 0) return false;
    TalliedObject& object = objects_[std::size_t(index)];
    object.area = unite(object.area, area);
    return true;
}

// The object is counted first, so that the 2001st is refused for its number.
bool ObjectTally::fail_position(ObjectType kind) noexcept {
    if (object_for(kind) >= 0) failure_ = Failure::no_position;
    return false;
}

bool ObjectTally::push(const Area& clip) noexcept {
    try {
        clips_.push_back(clip);
        return true;
    } catch (...) {
        failure_ = Failure::out_of_memory;
        return false;
    }
}

}  // namespace tesmira::grain
