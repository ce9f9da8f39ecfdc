#include "engine/cmyk_shading.hpp"

#include <algorithm>

#include "engine/cmyk_colours.hpp"

namespace tesmira::engine {
namespace {

// Strips bound the memory a page-wide shading needs: about 9 MB for the CMYK and RGB pixels.
constexpr int STRIP_PIXELS = 1 << 20;

void fill_strip(fz_context* ctx, fz_device* target, fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params cp,
                fz_irect strip) {
    // The target draws in RGB, where overprint has no meaning; the CMYK strip must not simulate it either.
    fz_color_params plain = cp;
    plain.op = 0;
    plain.opm = 0;

    fz_pixmap* cmyk = fz_new_pixmap_with_bbox(ctx, fz_device_cmyk(ctx), strip, nullptr, 1);
    fz_device* draw = nullptr;
    fz_pixmap* rgb = nullptr;
    fz_image* image = nullptr;
    fz_var(draw);
    fz_var(rgb);
    fz_var(image);
    fz_try(ctx) {
        fz_clear_pixmap(ctx, cmyk);  // transparent where the shading does not reach
        draw = fz_new_draw_device(ctx, fz_identity, cmyk);
        fz_fill_shade(ctx, draw, shade, ctm, 1.0f, plain);
        fz_close_device(ctx, draw);
        rgb = rgb_from_cmyk_pixmap(ctx, cmyk, plain);
        image = fz_new_image_from_pixmap(ctx, rgb, nullptr);
        const fz_matrix placed = fz_make_matrix(float(cmyk->w), 0, 0, float(cmyk->h), float(cmyk->x), float(cmyk->y));
        fz_fill_image(ctx, target, image, placed, alpha, cp);
    }
    fz_always(ctx) {
        fz_drop_image(ctx, image);
        fz_drop_pixmap(ctx, rgb);
        fz_drop_device(ctx, draw);
        fz_drop_pixmap(ctx, cmyk);
    }
    fz_catch(ctx) { fz_rethrow(ctx); }
}

// Linear and radial shadings take each pixel's colour from 256 samples of their function.
// A copy of the shading with those samples converted to RGB paints the same pixels as going
// through CMYK, straight onto the target. fz_shade is public in MuPDF 1.21; a linear or
// radial one owns nothing but its colour space, which fz_drop_shade_imp releases.
bool samples_its_function(const fz_shade* shade) {
    return shade->use_function && (shade->type == FZ_LINEAR || shade->type == FZ_RADIAL);
}

fz_shade* rgb_copy(fz_context* ctx, const fz_shade* shade, fz_color_params cp) {
    fz_shade* copy = fz_malloc_struct(ctx, fz_shade);
    *copy = *shade;
    FZ_INIT_STORABLE(copy, 1, fz_drop_shade_imp);
    copy->colorspace = fz_keep_colorspace(ctx, fz_device_rgb(ctx));
    copy->buffer = nullptr;
    fz_try(ctx) {
        const int n = fz_colorspace_n(ctx, shade->colorspace);
        for (int i = 0; i < 256; ++i) {
            rgb_of_cmyk_colour(ctx, shade->colorspace, shade->function[i], cp, copy->function[i]);
            copy->function[i][3] = shade->function[i][n];  // the sample's alpha follows its colour
        }
        if (shade->use_background) rgb_of_cmyk_colour(ctx, shade->colorspace, shade->background, cp, copy->background);
    }
    fz_catch(ctx) {
        fz_drop_shade(ctx, copy);
        fz_rethrow(ctx);
    }
    return copy;
}

}  // namespace

void fill_cmyk_shade(fz_context* ctx, fz_device* target, fz_shade* shade, fz_matrix ctm, float alpha,
                     fz_color_params cp, fz_irect area) {
    if (samples_its_function(shade)) {
        fz_shade* copy = rgb_copy(ctx, shade, cp);
        fz_try(ctx) { fz_fill_shade(ctx, target, copy, ctm, alpha, cp); }
        fz_always(ctx) { fz_drop_shade(ctx, copy); }
        fz_catch(ctx) { fz_rethrow(ctx); }
        return;
    }
    area = fz_intersect_irect(area, fz_irect_from_rect(fz_bound_shade(ctx, shade, ctm)));
    if (fz_is_empty_irect(area) || alpha <= 0) return;
    const int width = area.x1 - area.x0;
    const int rows = std::max(1, STRIP_PIXELS / width);
    for (int y = area.y0; y < area.y1; y += rows) {
        const fz_irect strip{area.x0, y, area.x1, std::min(area.y1, y + rows)};
        fill_strip(ctx, target, shade, ctm, alpha, cp, strip);
    }
}

}  // namespace tesmira::engine
