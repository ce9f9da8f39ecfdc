#include "engine/colour_device.hpp"

#include <memory>

#include "engine/ink_survey.hpp"
#include "engine/plain_drawing.hpp"

namespace tesmira::engine {
namespace {

struct ColourDevice {
    fz_device super;  // first, so that MuPDF's device pointer is ours
    fz_device* target;
};

fz_device* target_of(fz_device* dev) { return reinterpret_cast<ColourDevice*>(dev)->target; }

// The image decoded whole, as an image that MuPDF will not decode again at a lower size.
fz_image* full_resolution(fz_context* ctx, fz_image* image) {
    fz_pixmap* pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
    fz_image* whole = nullptr;
    fz_try(ctx) { whole = fz_new_image_from_pixmap(ctx, pixmap, nullptr); }
    fz_always(ctx) { fz_drop_pixmap(ctx, pixmap); }
    fz_catch(ctx) { fz_rethrow(ctx); }
    whole->interpolate = image->interpolate;
    return whole;
}

// Runs `draw` and drops `whole` after it, also when drawing fails.
template <typename Draw>
void draw_then_drop(fz_context* ctx, fz_image* whole, const Draw& draw) {
    fz_try(ctx) { draw(); }
    fz_always(ctx) { fz_drop_image(ctx, whole); }
    fz_catch(ctx) { fz_rethrow(ctx); }
}

void fill_image(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha, fz_color_params cp) {
    if (never_marks(ctx, image->colorspace)) return;
    fz_image* whole = full_resolution(ctx, image);
    draw_then_drop(ctx, whole, [&] { fz_fill_image(ctx, target_of(dev), whole, ctm, alpha, cp); });
}

void fill_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace* cs,
                     const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    fz_image* whole = full_resolution(ctx, image);
    draw_then_drop(ctx, whole, [&] { fz_fill_image_mask(ctx, target_of(dev), whole, ctm, cs, colour, alpha, cp); });
}

void clip_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_rect scissor) {
    fz_image* whole = full_resolution(ctx, image);
    draw_then_drop(ctx, whole, [&] { fz_clip_image_mask(ctx, target_of(dev), whole, ctm, scissor); });
}

void fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params cp) {
    if (never_marks(ctx, shade->colorspace)) return;
    fz_fill_shade(ctx, target_of(dev), shade, ctm, alpha, cp);
}

void fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm, fz_colorspace* cs,
               const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    fz_fill_path(ctx, target_of(dev), path, even_odd, ctm, cs, colour, alpha, cp);
}
void stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace* cs, const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    fz_stroke_path(ctx, target_of(dev), path, stroke, ctm, cs, colour, alpha, cp);
}
void fill_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs,
               const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    fz_fill_text(ctx, target_of(dev), text, ctm, cs, colour, alpha, cp);
}
void stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace* cs, const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    fz_stroke_text(ctx, target_of(dev), text, stroke, ctm, cs, colour, alpha, cp);
}

// Everything else passes through unchanged.
void clip_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm, fz_rect scissor) {
    fz_clip_path(ctx, target_of(dev), path, even_odd, ctm, scissor);
}
void clip_stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                      fz_matrix ctm, fz_rect scissor) {
    fz_clip_stroke_path(ctx, target_of(dev), path, stroke, ctm, scissor);
}
void clip_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect scissor) {
    fz_clip_text(ctx, target_of(dev), text, ctm, scissor);
}
void clip_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                      fz_matrix ctm, fz_rect scissor) {
    fz_clip_stroke_text(ctx, target_of(dev), text, stroke, ctm, scissor);
}
void ignore_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
    fz_ignore_text(ctx, target_of(dev), text, ctm);
}
void pop_clip(fz_context* ctx, fz_device* dev) { fz_pop_clip(ctx, target_of(dev)); }
void begin_mask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs, const float* bc,
                fz_color_params cp) {
    fz_begin_mask(ctx, target_of(dev), area, luminosity, cs, bc, cp);
}
void end_mask(fz_context* ctx, fz_device* dev) { fz_end_mask(ctx, target_of(dev)); }
void begin_group(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated, int knockout,
                 int blendmode, float alpha) {
    fz_begin_group(ctx, target_of(dev), area, cs, isolated, knockout, blendmode, alpha);
}
void end_group(fz_context* ctx, fz_device* dev) { fz_end_group(ctx, target_of(dev)); }
int begin_tile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep, fz_matrix ctm,
               int id) {
    return fz_begin_tile_id(ctx, target_of(dev), area, view, xstep, ystep, ctm, id);
}
void end_tile(fz_context* ctx, fz_device* dev) { fz_end_tile(ctx, target_of(dev)); }
void render_flags(fz_context* ctx, fz_device* dev, int set, int clear) {
    fz_render_flags(ctx, target_of(dev), set, clear);
}
void set_default_colorspaces(fz_context* ctx, fz_device* dev, fz_default_colorspaces* spaces) {
    fz_set_default_colorspaces(ctx, target_of(dev), spaces);
}
void begin_layer(fz_context* ctx, fz_device* dev, const char* name) { fz_begin_layer(ctx, target_of(dev), name); }
void end_layer(fz_context* ctx, fz_device* dev) { fz_end_layer(ctx, target_of(dev)); }

}  // namespace

fz_device* new_colour_device(fz_context* ctx, fz_device* target) {
    // The reference drawing: the target alone, under one more reference as the caller drops both.
    if (plain_drawing_requested()) return fz_keep_device(ctx, target);

    auto* dev = fz_new_derived_device(ctx, ColourDevice);
    dev->target = target;
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
    dev->super.begin_group = begin_group;
    dev->super.end_group = end_group;
    dev->super.begin_tile = begin_tile;
    dev->super.end_tile = end_tile;
    dev->super.render_flags = render_flags;
    dev->super.set_default_colorspaces = set_default_colorspaces;
    dev->super.begin_layer = begin_layer;
    dev->super.end_layer = end_layer;
    return &dev->super;
}

}  // namespace tesmira::engine
