#include "grain/content_listing.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "common/errors.hpp"
#include "grain/stroke_bounds.hpp"
#include "pdf/mupdf_document.hpp"

namespace tesmira::grain {
namespace {

constexpr std::size_t MAX_OBJECTS = 2000;
constexpr const char* TOO_MANY = "オブジェクト数が多いため厳密比較に戻します。";
constexpr const char* NO_POSITION = "位置を確定できません。";

// A rectangle in default user space. Zero width or height still marks a place (a hairline
// does); x0 > x1 marks nothing at all. MuPDF's own rectangle helpers treat both as empty.
struct Area {
    double x0, y0, x1, y1;
    bool marks() const { return x0 <= x1 && y0 <= y1; }
};
constexpr Area NOTHING{1, 1, 0, 0};

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

// The content-stream operators that paint, by what they paint. Each one that paints
// anything is one top-level object; a form XObject is one whatever its content.
enum class Op { path, text, image, shading, form };

enum class Failure { none, too_many, no_position, out_of_memory };

struct Placed {
    ObjectType type;
    Area area;
    bool simple;
};

// What the device and the operator wrappers learn while MuPDF runs the page. Every
// member function is noexcept: they are called from inside MuPDF, which a C++ exception
// must never cross. A failure is recorded, and the caller then unwinds with fz_throw.
class Listing {
public:
    explicit Listing(Area page) {
        objects_.reserve(MAX_OBJECTS);  // so that adding an object never allocates
        clips_.reserve(64);
        clips_.push_back(page);
    }

    struct Frame {
        Op outer;
        bool had_outer;
    };

    // An operator of the page or of anything it runs (forms, patterns, soft masks) begins.
    Frame enter(Op op) noexcept {
        const Frame frame{innermost_, depth_ > 0};
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

    void leave(Op op, const Frame& frame) noexcept {
        if (op != Op::form) --painting_;
        innermost_ = frame.outer;
        if (--depth_ > 0) return;
        // A form that draws nothing still counts, as a point at its origin.
        if (top_ == Op::form && current_ < 0 && has_origin_ && failure_ == Failure::none) {
            const int index = object_for(ObjectType::form);
            if (index >= 0) objects_[std::size_t(index)].area = {origin_x_, origin_y_, origin_x_, origin_y_};
        }
        current_ = -1;
    }

    // Whether a drawing call now shows on the page (not soft-mask or tile-cell content).
    bool counts() const noexcept { return failure_ == Failure::none && mask_depth_ == 0 && tile_depth_ == 0; }

    // Something is drawn. `clipped`: only its part inside the current clip counts (a
    // shading fills the whole clip, so an unbounded one takes the clip as its area).
    bool draw(ObjectType kind, fz_rect bounds, bool clipped = false) noexcept {
        if (!counts()) return failure_ == Failure::none;
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

    // A clip is pushed. `shape`: the clip is the outline of what the current operator
    // paints (a pattern-filled path or text, a masked image), so it counts as drawn.
    bool push_clip(ObjectType kind, fz_rect bounds, bool shape) noexcept {
        if (failure_ != Failure::none) return false;
        Area area;
        const bool placed = to_area(bounds, area);
        try {
            clips_.push_back(placed ? intersect(area, clips_.back()) : clips_.back());
        } catch (...) {
            failure_ = Failure::out_of_memory;
            return false;
        }
        if (!shape || !counts() || in_pattern_cell()) return true;
        if (!placed) return fail_position(kind);
        return add(kind, area);
    }

    void pop_clip() noexcept {
        if (clips_.size() > 1) clips_.pop_back();
    }

    // A soft mask's content is not on the page; once complete, the mask clips like a
    // clip path until it is popped.
    void begin_mask() noexcept { ++mask_depth_; }
    bool end_mask() noexcept {
        --mask_depth_;
        try {
            clips_.push_back(clips_.back());
        } catch (...) {
            failure_ = Failure::out_of_memory;
            return false;
        }
        return true;
    }

    // A tiling pattern's cell is drawn in pattern space; what the page shows is the
    // patterned shape, which is the clip around the tile.
    void begin_tile() noexcept { ++tile_depth_; }
    bool end_tile() noexcept {
        if (--tile_depth_ > 0 || !counts()) return failure_ == Failure::none;
        return add(ObjectType::path, clips_.back());
    }

    // The first placement of an image by an image operator of the page itself decides
    // whether that image is simple. MuPDF hands images over flipped to top-down
    // (c and d negated), so the placement written in the file is undone here.
    void note_image_placement(fz_matrix ctm) noexcept {
        if (depth_ != 1 || innermost_ != Op::image || current_ < 0 || image_placed_) return;
        image_placed_ = true;
        const double a = ctm.a, b = ctm.b, c = -ctm.c, d = -ctm.d;
        objects_[std::size_t(current_)].simple = std::abs(b) < 1e-6 && std::abs(c) < 1e-6 && a > 0 && d > 0;
    }

    // The clip around a form's content is drawn with the form's full matrix.
    void note_form_clip(fz_matrix ctm) noexcept {
        if (depth_ != 1 || innermost_ != Op::form || has_origin_ || !counts()) return;
        if (!std::isfinite(ctm.e) || !std::isfinite(ctm.f)) return;
        has_origin_ = true;
        origin_x_ = ctm.e;
        origin_y_ = ctm.f;
    }

    bool path_painting() const noexcept { return innermost_ == Op::path; }
    bool image_painting() const noexcept { return innermost_ == Op::image; }

    bool failed() const noexcept { return failure_ != Failure::none; }
    const char* failure_text() const noexcept {
        switch (failure_) {
            case Failure::too_many:
                return TOO_MANY;
            case Failure::no_position:
                return NO_POSITION;
            default:
                return "out of memory while listing page objects";
        }
    }
    void raise_failure() const {
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

    const std::vector<Placed>& objects() const { return objects_; }

private:
    // Inside a pattern cell when an operator other than a form's Do is open below the one
    // that draws.
    bool in_pattern_cell() const noexcept {
        const int below = painting_ - (depth_ > 0 && innermost_ != Op::form ? 1 : 0);
        return below > 0;
    }

    static ObjectType type_of(Op op) {
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

    // The object that a drawing belongs to: the one of the open top-level operator, made
    // on its first drawing; outside any operator each drawing is an object of its own.
    int object_for(ObjectType kind) noexcept {
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

    bool add(ObjectType kind, const Area& area) noexcept {
        if (!area.marks()) return true;  // paints nothing, so it is not an object either
        const int index = object_for(kind);
        if (index < 0) return false;
        Placed& object = objects_[std::size_t(index)];
        object.area = unite(object.area, area);
        return true;
    }

    // The object is counted first, so that the 2001st is refused for its number.
    bool fail_position(ObjectType kind) noexcept {
        if (object_for(kind) >= 0) failure_ = Failure::no_position;
        return false;
    }

    std::vector<Placed> objects_;
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

// ---- The device: bounds of everything drawn ----

struct ListingDevice {
    fz_device super;  // first, so that MuPDF's device pointer is ours
    Listing* listing;
};

Listing& listing_of(fz_device* dev) { return *reinterpret_cast<ListingDevice*>(dev)->listing; }

// Unwinds MuPDF after the listing recorded a failure. Only trivially destructible locals
// are alive in the callbacks that call this.
[[noreturn]] void abort_run(fz_context* ctx, const Listing& listing) {
    fz_throw(ctx, FZ_ERROR_ABORT, "%s", listing.failure_text());
}

fz_rect image_bounds(fz_matrix ctm) { return fz_transform_rect(fz_unit_rect, ctm); }

void fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int, fz_matrix ctm, fz_colorspace*,
               const float*, float, fz_color_params) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::path, fz_bound_path(ctx, path, nullptr, ctm))) abort_run(ctx, l);
}
void stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace*, const float*, float, fz_color_params) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::path, stroke_bounds(ctx, path, stroke, ctm))) abort_run(ctx, l);
}
void clip_path(fz_context* ctx, fz_device* dev, const fz_path* path, int, fz_matrix ctm, fz_rect) {
    Listing& l = listing_of(dev);
    l.note_form_clip(ctm);
    if (!l.push_clip(ObjectType::path, fz_bound_path(ctx, path, nullptr, ctm), l.path_painting())) abort_run(ctx, l);
}
void clip_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                      fz_matrix ctm, fz_rect) {
    Listing& l = listing_of(dev);
    if (!l.push_clip(ObjectType::path, stroke_bounds(ctx, path, stroke, ctm), l.path_painting())) abort_run(ctx, l);
}

// Invisible text and text that only clips are text objects all the same.
void fill_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace*, const float*,
               float, fz_color_params) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::text, fz_bound_text(ctx, text, nullptr, ctm))) abort_run(ctx, l);
}
void stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace*, const float*, float, fz_color_params) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::text, fz_bound_text(ctx, text, stroke, ctm))) abort_run(ctx, l);
}
void clip_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect) {
    Listing& l = listing_of(dev);
    if (!l.push_clip(ObjectType::text, fz_bound_text(ctx, text, nullptr, ctm), true)) abort_run(ctx, l);
}
void clip_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                      fz_matrix ctm, fz_rect) {
    Listing& l = listing_of(dev);
    if (!l.push_clip(ObjectType::text, fz_bound_text(ctx, text, stroke, ctm), true)) abort_run(ctx, l);
}
void ignore_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::text, fz_bound_text(ctx, text, nullptr, ctm))) abort_run(ctx, l);
}

void fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float, fz_color_params) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::shading, fz_bound_shade(ctx, shade, ctm), true)) abort_run(ctx, l);
}

void fill_image(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix ctm, float, fz_color_params) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::image, image_bounds(ctm))) abort_run(ctx, l);
    l.note_image_placement(ctm);
}
void fill_image_mask(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix ctm, fz_colorspace*, const float*, float,
                     fz_color_params) {
    Listing& l = listing_of(dev);
    if (!l.counts()) return;
    if (!l.draw(ObjectType::image, image_bounds(ctm))) abort_run(ctx, l);
    l.note_image_placement(ctm);
}
// An image's soft mask or stencil mask, or a stencil image filled with a pattern.
void clip_image_mask(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix ctm, fz_rect) {
    Listing& l = listing_of(dev);
    if (!l.push_clip(ObjectType::image, image_bounds(ctm), l.image_painting())) abort_run(ctx, l);
    if (l.image_painting()) l.note_image_placement(ctm);
}

void pop_clip(fz_context*, fz_device* dev) { listing_of(dev).pop_clip(); }

void begin_mask(fz_context*, fz_device* dev, fz_rect, int, fz_colorspace*, const float*, fz_color_params) {
    listing_of(dev).begin_mask();
}
void end_mask(fz_context* ctx, fz_device* dev) {
    Listing& l = listing_of(dev);
    if (!l.end_mask()) abort_run(ctx, l);
}

int begin_tile(fz_context*, fz_device* dev, fz_rect, fz_rect, float, float, fz_matrix, int) {
    listing_of(dev).begin_tile();
    return 0;  // never cached: the cell is run every time
}
void end_tile(fz_context* ctx, fz_device* dev) {
    Listing& l = listing_of(dev);
    if (!l.end_tile()) abort_run(ctx, l);
}

fz_device* new_listing_device(fz_context* ctx, Listing* listing) {
    auto* dev = fz_new_derived_device(ctx, ListingDevice);
    dev->listing = listing;
    dev->super.fill_path = fill_path;
    dev->super.stroke_path = stroke_path;
    dev->super.clip_path = clip_path;
    dev->super.clip_stroke_path = clip_stroke_path;
    dev->super.fill_text = fill_text;
    dev->super.stroke_text = stroke_text;
    dev->super.clip_text = clip_text;
    dev->super.clip_stroke_text = clip_stroke_text;
    dev->super.ignore_text = ignore_text;
    dev->super.fill_shade = fill_shade;
    dev->super.fill_image = fill_image;
    dev->super.fill_image_mask = fill_image_mask;
    dev->super.clip_image_mask = clip_image_mask;
    dev->super.pop_clip = pop_clip;
    dev->super.begin_mask = begin_mask;
    dev->super.end_mask = end_mask;
    dev->super.begin_tile = begin_tile;
    dev->super.end_tile = end_tile;
    return &dev->super;
}

// ---- The operators: which drawing belongs to which object ----

// MuPDF's processor cannot carry our state, so the wrappers find it here while a page runs.
thread_local Listing* running_listing = nullptr;

class RunningListing {
public:
    explicit RunningListing(Listing& listing) : previous_(running_listing) { running_listing = &listing; }
    ~RunningListing() { running_listing = previous_; }
    RunningListing(const RunningListing&) = delete;
    RunningListing& operator=(const RunningListing&) = delete;

private:
    Listing* previous_;
};

template <auto Field>
using OpFunction = std::remove_reference_t<decltype(std::declval<pdf_processor&>().*Field)>;

// The run processor's own function for each wrapped operator (the same for every run
// processor, as MuPDF's are static functions).
template <auto Field>
thread_local OpFunction<Field> original_op = nullptr;

template <auto Field, Op Kind, typename... Args>
void wrapped_op(fz_context* ctx, pdf_processor* proc, Args... args) {
    Listing& listing = *running_listing;
    const Listing::Frame frame = listing.enter(Kind);
    fz_try(ctx) {
        original_op<Field>(ctx, proc, args...);
        // MuPDF gathers the text of several showing operators into one until ET;
        // ending it after each keeps one object per operator.
        if constexpr (Kind == Op::text) original_op<&pdf_processor::op_ET>(ctx, proc);
    }
    fz_always(ctx) { listing.leave(Kind, frame); }
    fz_catch(ctx) { fz_rethrow(ctx); }
    if (listing.failed()) abort_run(ctx, listing);
}

template <auto Field, Op Kind, typename... Args>
void wrap_with(pdf_processor* proc, void (*)(fz_context*, pdf_processor*, Args...)) {
    original_op<Field> = proc->*Field;
    if (original_op<Field>) proc->*Field = &wrapped_op<Field, Kind, Args...>;
}

template <auto Field, Op Kind>
void wrap(pdf_processor* proc) {
    wrap_with<Field, Kind>(proc, proc->*Field);
}

void wrap_painting_operators(pdf_processor* proc) {
    original_op<&pdf_processor::op_ET> = proc->op_ET;
    if (!proc->op_ET) return;
    wrap<&pdf_processor::op_S, Op::path>(proc);
    wrap<&pdf_processor::op_s, Op::path>(proc);
    wrap<&pdf_processor::op_F, Op::path>(proc);
    wrap<&pdf_processor::op_f, Op::path>(proc);
    wrap<&pdf_processor::op_fstar, Op::path>(proc);
    wrap<&pdf_processor::op_B, Op::path>(proc);
    wrap<&pdf_processor::op_Bstar, Op::path>(proc);
    wrap<&pdf_processor::op_b, Op::path>(proc);
    wrap<&pdf_processor::op_bstar, Op::path>(proc);
    wrap<&pdf_processor::op_TJ, Op::text>(proc);
    wrap<&pdf_processor::op_Tj, Op::text>(proc);
    wrap<&pdf_processor::op_squote, Op::text>(proc);
    wrap<&pdf_processor::op_dquote, Op::text>(proc);
    wrap<&pdf_processor::op_BI, Op::image>(proc);
    wrap<&pdf_processor::op_Do_image, Op::image>(proc);
    wrap<&pdf_processor::op_sh, Op::shading>(proc);
    wrap<&pdf_processor::op_Do_form, Op::form>(proc);
}

struct ProcessorDeleter {
    fz_context* ctx;
    void operator()(pdf_processor* proc) const { pdf_drop_processor(ctx, proc); }
};
using Processor = std::unique_ptr<pdf_processor, ProcessorDeleter>;

}  // namespace

std::vector<ListedObject> list_page_content(const std::filesystem::path& path, int index,
                                            const pdf::Rect& page_box) {
    pdf::MupdfContext mupdf;
    fz_context* ctx = mupdf.get();
    pdf::PdfDocument doc = pdf::open_pdf_document(mupdf, path);
    pdf::PdfPage page = pdf::load_pdf_page(mupdf, doc.get(), index);

    // Declared before the device and the processor, which call into it until dropped.
    Listing listing(Area{page_box.x0, page_box.y0, page_box.x1, page_box.y1});
    pdf::Device device(nullptr, {ctx});
    mupdf.run([&] { device.reset(new_listing_device(ctx, &listing)); });
    Processor processor(nullptr, {ctx});
    const RunningListing running(listing);
    try {
        mupdf.run([&] {
            // The identity keeps everything in default user space, y upwards.
            processor.reset(pdf_new_run_processor(ctx, device.get(), fz_identity, "View", nullptr, nullptr, nullptr));
            wrap_painting_operators(processor.get());
            pdf_process_contents(ctx, processor.get(), doc.get(), pdf_page_resources(ctx, page.get()),
                                 pdf_page_contents(ctx, page.get()), nullptr);
            pdf_close_processor(ctx, processor.get());
            fz_close_device(ctx, device.get());
        });
    } catch (const pdf::MupdfError&) {
        if (!listing.failed()) throw;
    }
    listing.raise_failure();

    std::vector<ListedObject> listed;
    listed.reserve(listing.objects().size());
    for (const Placed& object : listing.objects())
        listed.push_back({object.type, {object.area.x0, object.area.y0, object.area.x1, object.area.y1}, object.simple});
    return listed;
}

}  // namespace tesmira::grain
