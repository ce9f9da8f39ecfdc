#include "engine/cmyk_colours.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/cmyk_to_rgb.hpp"

namespace tesmira::engine {
namespace {

// MuPDF's draw device turns a float colour into a byte by truncating v × 255; the middle of
// the byte's interval survives that whatever the float rounding.
float device_float(std::uint8_t v) { return (v + 0.5f) / 255; }

std::uint8_t premultiplied(std::uint8_t v, std::uint8_t alpha) { return std::uint8_t((v * alpha + 127) / 255); }

Rgb8 rgb_of_ink(const float* ink) { return cmyk_to_rgb({ink[0], ink[1], ink[2], ink[3]}); }

// One colour per pixel through the tint transform of a Separation or DeviceN space.
void convert_tints(fz_context* ctx, const fz_pixmap* src, fz_colorspace* cmyk, fz_pixmap* dst, fz_color_params cp) {
    fz_colorspace* cs = src->colorspace;
    const int n = src->n - src->alpha;
    const bool alpha = src->alpha;
    float tint[FZ_MAX_COLORS] = {};
    float ink[FZ_MAX_COLORS] = {};

    // A single tint has only 256 values; convert each once.
    std::array<Rgb8, 256> single{};
    if (n == 1)
        for (int v = 0; v < 256; ++v) {
            tint[0] = v / 255.0f;
            fz_convert_color(ctx, cs, tint, cmyk, ink, nullptr, cp);
            single[std::size_t(v)] = rgb_of_ink(ink);
        }

    unsigned char last[FZ_MAX_COLORS] = {};
    Rgb8 last_rgb{};
    bool have_last = false;
    for (int row = 0; row < src->h; ++row) {
        const unsigned char* s = src->samples + row * src->stride;
        unsigned char* d = dst->samples + row * dst->stride;
        for (int x = 0; x < src->w; ++x, s += src->n, d += dst->n) {
            const int a = alpha ? s[n] : 255;
            if (alpha) d[3] = std::uint8_t(a);
            if (a == 0) {
                d[0] = d[1] = d[2] = 0;
                continue;
            }
            unsigned char own[FZ_MAX_COLORS];  // the colour without alpha
            for (int i = 0; i < n; ++i) own[i] = std::uint8_t(std::min(255, (s[i] * 255 + a / 2) / a));
            Rgb8 rgb;
            if (n == 1) {
                rgb = single[own[0]];
            } else if (have_last && std::memcmp(own, last, std::size_t(n)) == 0) {
                rgb = last_rgb;
            } else {
                for (int i = 0; i < n; ++i) tint[i] = own[i] / 255.0f;
                fz_convert_color(ctx, cs, tint, cmyk, ink, nullptr, cp);
                rgb = rgb_of_ink(ink);
                std::memcpy(last, own, std::size_t(n));
                last_rgb = rgb;
                have_last = true;
            }
            for (int i = 0; i < 3; ++i)
                d[i] = alpha ? premultiplied(rgb[std::size_t(i)], std::uint8_t(a)) : rgb[std::size_t(i)];
        }
    }
}

void convert_cmyk(const fz_pixmap* src, fz_pixmap* dst) {
    for (int row = 0; row < src->h; ++row)
        cmyk_pixels_to_rgb(
            src->samples + row * src->stride, dst->samples + row * dst->stride, std::size_t(src->w), src->alpha);
}

}  // namespace

fz_colorspace* without_index(fz_context* ctx, fz_colorspace* cs) {
    // fz_colorspace's members are public in MuPDF 1.21.
    return cs && fz_colorspace_is_indexed(ctx, cs) ? cs->u.indexed.base : cs;
}

fz_colorspace* cmyk_behind(fz_context* ctx, fz_colorspace* cs) {
    // fz_colorspace's members are public in MuPDF 1.21; bases nest at most Indexed over
    // DeviceN over a process space.
    for (int depth = 0; cs && depth < 3; ++depth) {
        switch (fz_colorspace_type(ctx, cs)) {
            case FZ_COLORSPACE_CMYK:
                return cs;
            case FZ_COLORSPACE_INDEXED:
                cs = cs->u.indexed.base;
                break;
            case FZ_COLORSPACE_SEPARATION:
                cs = cs->u.separation.base;
                break;
            default:
                return nullptr;
        }
    }
    return nullptr;
}

bool rgb_of_cmyk_colour(fz_context* ctx, fz_colorspace* cs, const float* colour, fz_color_params cp, float rgb[3]) {
    fz_colorspace* cmyk = cmyk_behind(ctx, cs);
    if (!cmyk || !colour) return false;
    float ink[FZ_MAX_COLORS] = {};
    if (cs == cmyk)
        std::copy(colour, colour + 4, ink);
    else
        fz_convert_color(ctx, cs, colour, cmyk, ink, nullptr, cp);
    const Rgb8 v = rgb_of_ink(ink);
    for (int i = 0; i < 3; ++i) rgb[i] = device_float(v[std::size_t(i)]);
    return true;
}

fz_pixmap* rgb_from_cmyk_pixmap(fz_context* ctx, fz_pixmap* src, fz_color_params cp) {
    fz_colorspace* cs = src->colorspace;
    fz_colorspace* cmyk = cmyk_behind(ctx, cs);
    if (!cmyk || src->s != 0 || src->n != fz_colorspace_n(ctx, cs) + src->alpha) return nullptr;

    if (fz_colorspace_is_indexed(ctx, cs)) {
        fz_pixmap* base = fz_convert_indexed_pixmap_to_base(ctx, src);
        fz_pixmap* converted = nullptr;
        fz_var(converted);
        fz_try(ctx) { converted = rgb_from_cmyk_pixmap(ctx, base, cp); }
        fz_always(ctx) { fz_drop_pixmap(ctx, base); }
        fz_catch(ctx) { fz_rethrow(ctx); }
        return converted;
    }

    fz_pixmap* rgb = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), fz_pixmap_bbox(ctx, src), nullptr, src->alpha);
    fz_var(rgb);
    fz_try(ctx) {
        if (cs == cmyk)
            convert_cmyk(src, rgb);
        else
            convert_tints(ctx, src, cmyk, rgb, cp);
    }
    fz_catch(ctx) {
        fz_drop_pixmap(ctx, rgb);
        fz_rethrow(ctx);
    }
    rgb->xres = src->xres;
    rgb->yres = src->yres;
    return rgb;
}

}  // namespace tesmira::engine
