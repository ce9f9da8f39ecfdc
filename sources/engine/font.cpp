#include "engine/font.hpp"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <optional>
#include <stdexcept>

#include "common/unicode.hpp"

namespace tesmira::engine {
namespace {

const char* const FAMILY = "Noto Sans CJK JP";
constexpr char32_t REPLACEMENT_CHARACTER = U'\uFFFD';
// Characters the band always sets; a face without them would draw boxes.
const std::u32string REQUIRED_CHARACTERS = U"変更前後検版日時あア";

[[noreturn]] void fail_no_font() {
    throw std::runtime_error(
        "情報欄の日本語フォント（Noto Sans CJK JP）が見つかりません。fonts-noto-cjk をインストールしてください。");
}

void check_freetype(FT_Error error, const char* what) {
    if (error) {
        const char* text = FT_Error_String(error);
        throw std::runtime_error(std::string(what) + ": " + (text ? text : "FreeType error " + std::to_string(error)));
    }
}

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;
struct ConfigDeleter {
    void operator()(FcConfig* c) const { FcConfigDestroy(c); }
};

// The process's own fontconfig configuration, loaded once and released at exit.
FcConfig* font_configuration() {
    static const std::unique_ptr<FcConfig, ConfigDeleter> config(FcInitLoadConfigAndFonts());
    return config.get();
}

}  // namespace

struct BandFont::Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int pixel_size = 0;
    // U+FFFD, which the band shows for each byte of a name that is not UTF-8, as the desktop
    // does; the Japanese face has no glyph for it. Loaded when a text first needs it; null when
    // no font has one, and the character is then the Japanese face's missing-glyph box.
    FT_Face replacement = nullptr;
    bool replacement_sought = false;

    FT_Face replacement_face() {
        if (replacement_sought) return replacement;
        replacement_sought = true;
        const auto file = find_replacement_font_file();
        if (file && FT_New_Face(library, file->c_str(), 0, &replacement) == 0)
            check_freetype(FT_Set_Pixel_Sizes(replacement, 0, FT_UInt(pixel_size)), file->c_str());
        return replacement;
    }
    ~Face() {
        if (replacement) FT_Done_Face(replacement);
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

std::optional<std::string> BandFont::find_replacement_font_file() {
    FcConfig* config = font_configuration();
    if (!config) return std::nullopt;
    Pattern pattern(FcPatternCreate());
    std::unique_ptr<FcCharSet, decltype(&FcCharSetDestroy)> wanted(FcCharSetCreate(), &FcCharSetDestroy);
    if (!pattern || !wanted || !FcCharSetAddChar(wanted.get(), REPLACEMENT_CHARACTER) ||
        !FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get()))
        return std::nullopt;
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(config, pattern.get(), &result));
    FcChar8* file = nullptr;
    FcCharSet* charset = nullptr;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch ||
        FcPatternGetCharSet(match.get(), FC_CHARSET, 0, &charset) != FcResultMatch ||
        !FcCharSetHasChar(charset, REPLACEMENT_CHARACTER))
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(file));
}

std::string BandFont::find_japanese_font_file() {
    FcConfig* config = font_configuration();
    if (!config) fail_no_font();
    Pattern pattern(FcNameParse(reinterpret_cast<const FcChar8*>("Noto Sans CJK JP:style=Regular:lang=ja")));
    if (!pattern) fail_no_font();
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(config, pattern.get(), &result));
    if (!match) fail_no_font();
    FcChar8* family = nullptr;
    FcChar8* file = nullptr;
    FcCharSet* charset = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch ||
        FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch ||
        FcPatternGetCharSet(match.get(), FC_CHARSET, 0, &charset) != FcResultMatch)
        fail_no_font();
    // fontconfig always answers with some font; only the Japanese face itself will do.
    if (std::string(reinterpret_cast<const char*>(family)).find(FAMILY) == std::string::npos) fail_no_font();
    for (char32_t c : REQUIRED_CHARACTERS)
        if (!FcCharSetHasChar(charset, FcChar32(c))) fail_no_font();
    return reinterpret_cast<const char*>(file);
}

BandFont::BandFont(int pixel_size) : face_(std::make_unique<Face>()) {
    const std::string file = find_japanese_font_file();
    check_freetype(FT_Init_FreeType(&face_->library), "FreeType");
    check_freetype(FT_New_Face(face_->library, file.c_str(), 0, &face_->face), file.c_str());
    check_freetype(FT_Set_Pixel_Sizes(face_->face, 0, FT_UInt(pixel_size)), file.c_str());
    face_->pixel_size = pixel_size;
    face_->replacement_sought = FT_Get_Char_Index(face_->face, REPLACEMENT_CHARACTER) != 0;
}

BandFont::~BandFont() = default;

namespace {

// Loads each glyph of the text in turn and calls `at(pen, slot)` with the pen position (from 0,
// in pixels, kerning applied) at which the glyph loaded into `slot` stands; returns the text's
// advance width.
template <typename Replacement, typename At>
double walk_glyphs(FT_Face face, Replacement&& replacement_face, std::string_view utf8, At&& at) {
    double pen = 0;
    FT_UInt previous = 0;
    for (char32_t c : decode_utf8(utf8)) {
        if (FT_Face replacement = c == REPLACEMENT_CHARACTER ? replacement_face() : nullptr) {
            check_freetype(FT_Load_Char(replacement, FT_ULong(c), FT_LOAD_DEFAULT), "FreeType glyph");
            at(pen, replacement->glyph);
            pen += double(replacement->glyph->advance.x) / 64.0;
            previous = 0;
            continue;
        }
        const FT_UInt glyph = FT_Get_Char_Index(face, FT_ULong(c));
        check_freetype(FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT), "FreeType glyph");
        if (previous && FT_HAS_KERNING(face)) {
            FT_Vector kerning{};
            FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kerning);
            pen += double(kerning.x) / 64.0;
        }
        at(pen, face->glyph);
        pen += double(face->glyph->advance.x) / 64.0;
        previous = glyph;
    }
    return pen;
}

}  // namespace

double BandFont::text_width(std::string_view utf8) const {
    return walk_glyphs(
        face_->face, [this] { return face_->replacement_face(); }, utf8, [](double, FT_GlyphSlot) {});
}

void BandFont::draw_left_middle(cv::Mat& rgb, std::string_view utf8, double x, double y, cv::Vec3b colour) const {
    FT_Face face = face_->face;
    const double ascender = double(face->size->metrics.ascender) / 64.0;
    const double descender = double(face->size->metrics.descender) / 64.0;  // negative
    const int baseline = int(std::lround(y + (ascender + descender) / 2.0));
    walk_glyphs(
        face,
        [this] { return face_->replacement_face(); },
        utf8,
        [&](double pen, FT_GlyphSlot glyph) {
            check_freetype(FT_Render_Glyph(glyph, FT_RENDER_MODE_NORMAL), "FreeType render");
            const FT_Bitmap& bitmap = glyph->bitmap;
            const int left = int(std::lround(x + pen)) + glyph->bitmap_left;
            const int top = baseline - glyph->bitmap_top;
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const int py = top + int(row);
                if (py < 0 || py >= rgb.rows) continue;
                const unsigned char* coverage = bitmap.buffer + std::ptrdiff_t(row) * bitmap.pitch;
                cv::Vec3b* line = rgb.ptr<cv::Vec3b>(py);
                for (unsigned col = 0; col < bitmap.width; ++col) {
                    const int px = left + int(col);
                    if (px < 0 || px >= rgb.cols || coverage[col] == 0) continue;
                    const int a = coverage[col];
                    for (int ch = 0; ch < 3; ++ch)
                        line[px][ch] = uchar((colour[ch] * a + line[px][ch] * (255 - a) + 127) / 255);
                }
            }
        });
}

}  // namespace tesmira::engine
