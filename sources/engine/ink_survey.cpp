#include "engine/ink_survey.hpp"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/limits.hpp"
#include "pdf/page_run.hpp"

namespace tesmira::engine {
namespace {

// The space that the Indexed space `cs` indexes; any other space itself.
fz_colorspace* without_index(fz_context* ctx, fz_colorspace* cs) {
    // fz_colorspace's members are public in MuPDF 1.21.
    return cs && fz_colorspace_is_indexed(ctx, cs) ? cs->u.indexed.base : cs;
}

struct State {
    long long drawn = 0;  // objects of MAX_DRAWN_OBJECTS
    bool too_much = false;
    int mask_depth = 0;  // within a soft mask's definition colours make opacity, not ink
    bool press = false;
    std::vector<SpotInk> spots;
    // The Type 3 glyphs already surveyed, each font held so that its address stays its own.
    std::vector<std::pair<fz_font*, std::bitset<256>>> glyphs;
};

struct SurveyDevice {
    fz_device super;  // first, so that MuPDF's device pointer is ours
    State state;      // constructed in place: MuPDF allocates the device
};

State& state_of(fz_device* dev) { return reinterpret_cast<SurveyDevice*>(dev)->state; }

// Counts `objects` drawn objects, stopping the page beyond its budget.
void spend(fz_context* ctx, fz_device* dev, long long objects) {
    State& s = state_of(dev);
    s.drawn += objects;
    if (s.drawn <= MAX_DRAWN_OBJECTS) return;
    s.too_much = true;
    fz_throw(ctx, FZ_ERROR_ABORT, "too much drawing");
}

long long glyphs_of(const fz_text* text) {
    long long glyphs = 0;
    for (const fz_text_span* span = text->head; span; span = span->next) glyphs += span->len;
    return glyphs;
}

bool is_spot_ink(const char* name) {
    for (const char* process : PROCESS_INKS)
        if (std::strcmp(name, process) == 0) return false;
    return std::strcmp(name, "All") != 0 && std::strcmp(name, "None") != 0;
}

bool already_a_plate(const State& s, const char* name) {
    for (const SpotInk& spot : s.spots)
        if (spot.name == name) return true;
    return false;
}

using Looks = decltype(SpotInk::looks);

// Each tint of colorant `colorant` of `cs` alone, through the space's tint transform.
void looks_of(fz_context* ctx, fz_colorspace* cs, int colorant, Looks& looks) {
    float tint[FZ_MAX_COLORS] = {};
    float cmyk[FZ_MAX_COLORS] = {};
    for (int v = 0; v < 256; ++v) {
        tint[colorant] = float(v) / 255;
        fz_convert_color(ctx, cs, tint, fz_device_cmyk(ctx), cmyk, nullptr, fz_default_color_params);
        for (std::size_t i = 0; i < 4; ++i)
            looks[std::size_t(v)][i] = std::uint8_t(std::lround(std::clamp(cmyk[i], 0.0f, 1.0f) * 255));
    }
}

void add_spot(fz_context* ctx, State& s, fz_colorspace* cs, int colorant, const char* name) {
    Looks looks;
    looks_of(ctx, cs, colorant, looks);
    bool stored = false;
    try {
        s.spots.push_back(SpotInk{name, looks});
        stored = true;
    } catch (const std::bad_alloc&) {}
    if (!stored) fz_throw(ctx, FZ_ERROR_MEMORY, "out of memory for a spot ink");
}

void add_spots(fz_context* ctx, State& s, fz_colorspace* cs) {
    const int n = fz_colorspace_n(ctx, cs);
    for (int i = 0; i < n; ++i) {
        const char* name = fz_colorspace_colorant(ctx, cs, i);
        if (!name || !is_spot_ink(name) || already_a_plate(s, name)) continue;
        if (s.spots.size() == std::size_t(MAX_SPOT_PLATES)) return;
        add_spot(ctx, s, cs, i, name);
    }
}

void note(fz_context* ctx, fz_device* dev, fz_colorspace* cs) {
    State& s = state_of(dev);
    if (!cs || s.mask_depth > 0) return;
    cs = without_index(ctx, cs);
    if (!fz_colorspace_is_subtractive(ctx, cs)) return;  // CMYK, Separation and DeviceN
    s.press = true;
    if (fz_colorspace_is_device_n(ctx, cs)) add_spots(ctx, s, cs);
}

// The glyph's bit for `font`, added (the font kept) when the font is new. Throws through MuPDF.
std::bitset<256>::reference glyph_seen(fz_context* ctx, State& s, fz_font* font, int gid) {
    for (auto& [known, seen] : s.glyphs)
        if (known == font) return seen[std::size_t(gid)];
    bool stored = false;
    try {
        s.glyphs.emplace_back(font, std::bitset<256>{});
        stored = true;
    } catch (const std::bad_alloc&) {}
    if (!stored) fz_throw(ctx, FZ_ERROR_MEMORY, "out of memory for the glyphs of a Type 3 font");
    fz_keep_font(ctx, font);
    return s.glyphs.back().second[std::size_t(gid)];
}

// A Type 3 glyph's program paints in colours of its own: each glyph is surveyed once.
void survey_type3_glyphs(fz_context* ctx, fz_device* dev, const fz_text* text) {
    for (const fz_text_span* span = text->head; span; span = span->next) {
        if (!fz_font_t3_procs(ctx, span->font)) continue;
        for (int i = 0; i < span->len; ++i) {
            const int gid = span->items[i].gid;
            if (gid < 0 || gid > 255) continue;
            auto seen = glyph_seen(ctx, state_of(dev), span->font, gid);
            if (seen) continue;
            seen = true;  // before running it: a glyph may draw its own font again
            fz_run_t3_glyph(ctx, span->font, gid, fz_identity, dev);
        }
    }
}

void fill_path(fz_context* ctx, fz_device* dev, const fz_path*, int, fz_matrix, fz_colorspace* cs, const float*, float,
               fz_color_params) {
    spend(ctx, dev, 1);
    note(ctx, dev, cs);
}
void stroke_path(fz_context* ctx, fz_device* dev, const fz_path*, const fz_stroke_state*, fz_matrix, fz_colorspace* cs,
                 const float*, float, fz_color_params) {
    spend(ctx, dev, 1);
    note(ctx, dev, cs);
}
void fill_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix, fz_colorspace* cs, const float*, float,
               fz_color_params) {
    spend(ctx, dev, glyphs_of(text));
    note(ctx, dev, cs);
    survey_type3_glyphs(ctx, dev, text);
}
void stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state*, fz_matrix,
                 fz_colorspace* cs, const float*, float, fz_color_params) {
    spend(ctx, dev, glyphs_of(text));
    note(ctx, dev, cs);
    survey_type3_glyphs(ctx, dev, text);
}
void fill_shade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix, float, fz_color_params) {
    spend(ctx, dev, 1);
    note(ctx, dev, shade->colorspace);
}
void fill_image(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix, float, fz_color_params) {
    spend(ctx, dev, 1);
    note(ctx, dev, image->colorspace);
}
void fill_image_mask(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix, fz_colorspace* cs, const float*, float,
                     fz_color_params) {
    spend(ctx, dev, 1);
    note(ctx, dev, cs);
}
// Clips are drawn too, one for every form XObject drawn: they count.
void clip_path(fz_context* ctx, fz_device* dev, const fz_path*, int, fz_matrix, fz_rect) { spend(ctx, dev, 1); }
void clip_stroke_path(fz_context* ctx, fz_device* dev, const fz_path*, const fz_stroke_state*, fz_matrix, fz_rect) {
    spend(ctx, dev, 1);
}
void clip_text(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix, fz_rect) {
    spend(ctx, dev, glyphs_of(text));
}
void clip_stroke_text(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state*, fz_matrix,
                      fz_rect) {
    spend(ctx, dev, glyphs_of(text));
}
void clip_image_mask(fz_context* ctx, fz_device* dev, fz_image*, fz_matrix, fz_rect) { spend(ctx, dev, 1); }
int begin_tile(fz_context* ctx, fz_device* dev, fz_rect, fz_rect, float, float, fz_matrix, int) {
    spend(ctx, dev, 1);
    return 0;  // the cell is drawn, and surveyed
}
void begin_mask(fz_context* ctx, fz_device* dev, fz_rect, int, fz_colorspace*, const float*, fz_color_params) {
    spend(ctx, dev, 1);
    ++state_of(dev).mask_depth;
}
void end_mask(fz_context*, fz_device* dev) {
    State& s = state_of(dev);
    if (s.mask_depth > 0) --s.mask_depth;
}
void begin_group(fz_context* ctx, fz_device* dev, fz_rect, fz_colorspace* cs, int, int, int, float) {
    spend(ctx, dev, 1);
    note(ctx, dev, cs);  // a blending space
}

void drop(fz_context* ctx, fz_device* dev) {
    State& s = state_of(dev);
    for (auto& glyphs : s.glyphs) fz_drop_font(ctx, glyphs.first);
    std::destroy_at(&s);
}

fz_device* new_survey_device(fz_context* ctx) {
    auto* survey = fz_new_derived_device(ctx, SurveyDevice);
    std::construct_at(&survey->state);
    fz_device* dev = &survey->super;
    dev->drop_device = drop;
    dev->fill_path = fill_path;
    dev->stroke_path = stroke_path;
    dev->fill_text = fill_text;
    dev->stroke_text = stroke_text;
    dev->fill_shade = fill_shade;
    dev->fill_image = fill_image;
    dev->fill_image_mask = fill_image_mask;
    dev->clip_path = clip_path;
    dev->clip_stroke_path = clip_stroke_path;
    dev->clip_text = clip_text;
    dev->clip_stroke_text = clip_stroke_text;
    dev->clip_image_mask = clip_image_mask;
    dev->begin_tile = begin_tile;
    dev->begin_mask = begin_mask;
    dev->end_mask = end_mask;
    dev->begin_group = begin_group;
    return dev;
}

}  // namespace

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

InkSurvey survey_inks(const pdf::MupdfContext& mupdf, pdf_page* page, fz_matrix ctm) {
    fz_context* ctx = mupdf.get();
    pdf::Device survey(nullptr, {ctx});
    mupdf.run([&] { survey.reset(new_survey_device(ctx)); });
    State& s = state_of(survey.get());
    try {
        pdf::run_page(mupdf, page, survey.get(), ctm);
    } catch (const pdf::MupdfError&) {
        if (s.too_much) throw TooMuchDrawing();
        throw;
    }
    mupdf.run([&] { fz_close_device(ctx, survey.get()); });
    InkSurvey out;
    out.press = s.press;
    out.spots = std::move(s.spots);
    return out;
}

}  // namespace tesmira::engine
