#include "grain/tally_device.hpp"

#include "grain/stroke_bounds.hpp"

namespace tesmira::grain {
namespace {

struct TallyDevice {
    fz_device super;  // first, so that MuPDF's device pointer is ours
    ObjectTally* tally;
};

ObjectTally& tally_of(fz_device* dev) { return *reinterpret_cast<TallyDevice*>(dev)->tally; }

// Only trivially destructible locals are alive in the callbacks that call this.
[[noreturn]] void abort_run(fz_context* ctx, const ObjectTally& tally) {
    fz_throw(ctx, FZ_ERROR_ABORT, "%s", tally.failure_text());
}

fz_rect image_bounds(fz_matrix ctm) { return fz_transform_rect(fz_unit_rect, ctm); }

void fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int, fz_matrix ctm, fz_colorspace*, const float*,
               float, fz_color_params) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::path, fz_bound_path(ctx, path, nullptr, ctm))) abort_run(ctx, t);
}
void stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace*, const float*, float, fz_color_params) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::path, stroke_bounds(ctx, path, stroke, ctm))) abort_run(ctx, t);
}
void clip_path(fz_context* ctx, fz_device* dev, const fz_path* path, int, fz_matrix ctm, fz_rect) {
    ObjectTally& t = tally_of(dev);
    t.note_form_clip(ctm);
    if (!t.push_clip(ObjectType::path, fz_bound_path(ctx, path, nullptr, ctm), t.painting(Op::path))) abort_run(ctx, t);
}
void clip_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                      fz_matrix ctm, fz_rect) {
    ObjectTally& t = tally_of(dev);
    if (!t.push_clip(ObjectType::path, stroke_bounds(ctx, path, stroke, ctm), t.painting(Op::path))) abort_run(ctx, t);
}

// Invisible text and text that only clips are text objects all the same.
void fill_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace*, const float*, float,
               fz_color_params) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::text, fz_bound_text(ctx, text, nullptr, ctm))) abort_run(ctx, t);
}
void stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace*, const float*, float, fz_color_params) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::text, fz_bound_text(ctx, text, stroke, ctm))) abort_run(ctx, t);
}
void clip_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect) {
    ObjectTally& t = tally_of(dev);
    if (!t.push_clip(ObjectType::text, fz_bound_text(ctx, text, nullptr, ctm), true)) abort_run(ctx, t);
}
void clip_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                      fz_matrix ctm, fz_rect) {
    ObjectTally& t = tally_of(dev);
    if (!t.push_clip(ObjectType::text, fz_bound_text(ctx, text, stroke, ctm), true)) abort_run(ctx, t);
}
void ignore_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::text, fz_bound_text(ctx, text, nullptr, ctm))) abort_run(ctx, t);
}

void fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float, fz_color_params) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::shading, fz_bound_shade(ctx, shade, ctm), true)) abort_run(ctx, t);
}

void fill_image(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix ctm, float, fz_color_params) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::image, image_bounds(ctm))) abort_run(ctx, t);
    t.note_image_placement(ctm);
}
void fill_image_mask(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix ctm, fz_colorspace*, const float*, float,
                     fz_color_params) {
    ObjectTally& t = tally_of(dev);
    if (!t.counts()) return;
    if (!t.draw(ObjectType::image, image_bounds(ctm))) abort_run(ctx, t);
    t.note_image_placement(ctm);
}
// An image's soft mask or stencil mask, or a stencil image filled with a pattern.
void clip_image_mask(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix ctm, fz_rect) {
    ObjectTally& t = tally_of(dev);
    const bool own = t.painting(Op::image);
    if (!t.push_clip(ObjectType::image, image_bounds(ctm), own)) abort_run(ctx, t);
    if (own) t.note_image_placement(ctm);
}

void pop_clip(fz_context*, fz_device* dev) { tally_of(dev).pop_clip(); }

void begin_mask(fz_context*, fz_device* dev, fz_rect, int, fz_colorspace*, const float*, fz_color_params) {
    tally_of(dev).begin_mask();
}
void end_mask(fz_context* ctx, fz_device* dev) {
    ObjectTally& t = tally_of(dev);
    if (!t.end_mask()) abort_run(ctx, t);
}

int begin_tile(fz_context*, fz_device* dev, fz_rect, fz_rect, float, float, fz_matrix, int) {
    tally_of(dev).begin_tile();
    return 0;  // nothing cached: MuPDF runs the cell
}
void end_tile(fz_context*, fz_device* dev) { tally_of(dev).end_tile(); }

}  // namespace

fz_device* new_tally_device(fz_context* ctx, ObjectTally* tally) {
    auto* dev = fz_new_derived_device(ctx, TallyDevice);
    dev->tally = tally;
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

}  // namespace tesmira::grain
