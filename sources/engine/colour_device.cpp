#include "engine/colour_device.hpp"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/cmyk_colours.hpp"
#include "engine/cmyk_shading.hpp"
#include "engine/plain_drawing.hpp"
#include "engine/shared_decodes.hpp"

namespace tesmira::engine {
namespace {

// What the device keeps track of besides MuPDF's own clip stack.
struct State {
    fz_device* target = nullptr;
    fz_irect area{};
    bool screen = true;  // converting CMYK for an RGB target
    SharedDecodes* decodes = nullptr;
    // Within a soft mask's definition colours make opacity, not colour: there MuPDF's own
    // conversion stays, whose ink sum keeps K 100 % fully masking, as designers expect.
    int mask_depth = 0;
    // The device pixels of each pattern cell being drawn; MuPDF draws a cell into its own
    // pixmap there, outside the page's clip.
    std::vector<fz_irect> cells;
};

struct ColourDevice {
    fz_device super;  // first, so that MuPDF's device pointer is ours
    State state;      // constructed in place: MuPDF allocates the device
};

State& state_of(fz_device* dev) { return reinterpret_cast<ColourDevice*>(dev)->state; }
fz_device* target_of(fz_device* dev) { return state_of(dev).target; }

// Whether colours in `cs` converted by us reach the target: on the screen, outside a mask.
bool converting(fz_device* dev) {
    const State& s = state_of(dev);
    return s.screen && s.mask_depth == 0;
}

// Points `cs` and `colour` at our RGB, kept in `rgb`, when the colour ends in CMYK and is converted.
void recolour(fz_context* ctx, fz_device* dev, fz_colorspace*& cs, const float*& colour, fz_color_params cp,
              float rgb[3]) {
    if (!converting(dev) || !rgb_of_cmyk_colour(ctx, cs, colour, cp, rgb)) return;
    cs = fz_device_rgb(ctx);
    colour = rgb;
}

// A Separation or DeviceN space (or an Indexed space over one) whose colorants are all "None".
bool never_marks(fz_context* ctx, fz_colorspace* cs) {
    cs = without_index(ctx, cs);
    if (!cs || !fz_colorspace_is_device_n(ctx, cs)) return false;
    const int n = fz_colorspace_n(ctx, cs);
    for (int i = 0; i < n; ++i) {
        const char* name = fz_colorspace_colorant(ctx, cs, i);
        if (!name || std::strcmp(name, "None") != 0) return false;
    }
    return n > 0;
}

// The image decoded whole, as an image that MuPDF will not decode again at a lower size,
// in RGB when its colours end in CMYK and `recolour` is set.
fz_image* full_resolution(fz_context* ctx, fz_device* dev, fz_image* image, bool recolour, fz_color_params cp) {
    SharedDecodes* decodes = state_of(dev).decodes;
    fz_pixmap* pixmap = decodes ? decodes->decode(ctx, image)
                                : fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
    fz_pixmap* rgb = nullptr;
    fz_image* whole = nullptr;
    fz_var(rgb);
    fz_var(whole);
    fz_try(ctx) {
        if (recolour) rgb = rgb_from_cmyk_pixmap(ctx, pixmap, cp);
        whole = fz_new_image_from_pixmap(ctx, rgb ? rgb : pixmap, nullptr);
    }
    fz_always(ctx) {
        fz_drop_pixmap(ctx, rgb);
        fz_drop_pixmap(ctx, pixmap);
    }
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
    fz_image* whole = full_resolution(ctx, dev, image, converting(dev), cp);
    draw_then_drop(ctx, whole, [&] { fz_fill_image(ctx, target_of(dev), whole, ctm, alpha, cp); });
}

void fill_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace* cs,
                     const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    float rgb[3];
    recolour(ctx, dev, cs, colour, cp, rgb);
    fz_image* whole = full_resolution(ctx, dev, image, false, cp);
    draw_then_drop(ctx, whole, [&] { fz_fill_image_mask(ctx, target_of(dev), whole, ctm, cs, colour, alpha, cp); });
}

void clip_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_rect scissor) {
    fz_image* whole = full_resolution(ctx, dev, image, false, fz_default_color_params);
    draw_then_drop(ctx, whole, [&] { fz_clip_image_mask(ctx, target_of(dev), whole, ctm, scissor); });
}

void fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params cp) {
    const State& s = state_of(dev);
    if (never_marks(ctx, shade->colorspace)) return;
    if (!converting(dev) || !cmyk_behind(ctx, shade->colorspace)) {
        fz_fill_shade(ctx, s.target, shade, ctm, alpha, cp);
        return;
    }
    const fz_irect area = s.cells.empty()
                              ? fz_intersect_irect(s.area, fz_irect_from_rect(fz_device_current_scissor(ctx, dev)))
                              : s.cells.back();
    fill_cmyk_shade(ctx, s.target, shade, ctm, alpha, cp, area);
}

void fill_path(fz_context* ctx, fz_device* dev, const fz_path* path, int even_odd, fz_matrix ctm, fz_colorspace* cs,
               const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    float rgb[3];
    recolour(ctx, dev, cs, colour, cp, rgb);
    fz_fill_path(ctx, target_of(dev), path, even_odd, ctm, cs, colour, alpha, cp);
}
void stroke_path(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace* cs, const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    float rgb[3];
    recolour(ctx, dev, cs, colour, cp, rgb);
    fz_stroke_path(ctx, target_of(dev), path, stroke, ctm, cs, colour, alpha, cp);
}
void fill_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs,
               const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    float rgb[3];
    recolour(ctx, dev, cs, colour, cp, rgb);
    fz_fill_text(ctx, target_of(dev), text, ctm, cs, colour, alpha, cp);
}
void stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                 fz_colorspace* cs, const float* colour, float alpha, fz_color_params cp) {
    if (never_marks(ctx, cs)) return;
    float rgb[3];
    recolour(ctx, dev, cs, colour, cp, rgb);
    fz_stroke_text(ctx, target_of(dev), text, stroke, ctm, cs, colour, alpha, cp);
}

void begin_group(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated, int knockout,
                 int blendmode, float alpha) {
    // The contents arrive in RGB already; a CMYK group would send them back through MuPDF's
    // saturating conversion when it ends. So the group blends in RGB, like the page.
    if (converting(dev) && cmyk_behind(ctx, cs)) cs = fz_device_rgb(ctx);
    fz_begin_group(ctx, target_of(dev), area, cs, isolated, knockout, blendmode, alpha);
}
void end_group(fz_context* ctx, fz_device* dev) { fz_end_group(ctx, target_of(dev)); }

void begin_mask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs, const float* bc,
                fz_color_params cp) {
    ++state_of(dev).mask_depth;
    fz_begin_mask(ctx, target_of(dev), area, luminosity, cs, bc, cp);
}
void end_mask(fz_context* ctx, fz_device* dev) {
    State& s = state_of(dev);
    if (s.mask_depth > 0) --s.mask_depth;
    fz_end_mask(ctx, s.target);
}

int begin_tile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep, fz_matrix ctm,
               int id) {
    // The cell's pixels as MuPDF's draw device allocates them, at least one pixel each way.
    fz_irect cell = fz_irect_from_rect(fz_transform_rect(view, ctm));
    if (cell.x1 == cell.x0) ++cell.x1;
    if (cell.y1 == cell.y0) ++cell.y1;
    bool stored = false;
    try {
        state_of(dev).cells.push_back(cell);
        stored = true;
    } catch (const std::bad_alloc&) {}
    if (!stored) fz_throw(ctx, FZ_ERROR_MEMORY, "out of memory for a pattern cell");
    return fz_begin_tile_id(ctx, target_of(dev), area, view, xstep, ystep, ctm, id);
}
void end_tile(fz_context* ctx, fz_device* dev) {
    State& s = state_of(dev);
    if (!s.cells.empty()) s.cells.pop_back();
    fz_end_tile(ctx, s.target);
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
void render_flags(fz_context* ctx, fz_device* dev, int set, int clear) {
    fz_render_flags(ctx, target_of(dev), set, clear);
}
void set_default_colorspaces(fz_context* ctx, fz_device* dev, fz_default_colorspaces* spaces) {
    fz_set_default_colorspaces(ctx, target_of(dev), spaces);
}
void begin_layer(fz_context* ctx, fz_device* dev, const char* name) { fz_begin_layer(ctx, target_of(dev), name); }
void end_layer(fz_context* ctx, fz_device* dev) { fz_end_layer(ctx, target_of(dev)); }

void drop(fz_context*, fz_device* dev) { std::destroy_at(&state_of(dev)); }

}  // namespace

fz_device* new_colour_device(fz_context* ctx, fz_device* target, fz_irect area, DrawTarget drawing,
                             SharedDecodes* decodes) {
    // The reference drawing: the target alone, under one more reference as the caller drops both.
    if (plain_drawing_requested()) return fz_keep_device(ctx, target);

    auto* dev = fz_new_derived_device(ctx, ColourDevice);
    State* state = std::construct_at(&dev->state);
    state->target = target;
    state->area = area;
    state->screen = drawing == DrawTarget::screen;
    state->decodes = decodes;
    dev->super.drop_device = drop;
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
