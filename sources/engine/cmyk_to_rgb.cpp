#include "engine/cmyk_to_rgb.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tesmira::engine {
namespace {

// Four lanes, the fourth unused, so that the compiler can work on a whole colour at once.
using Lanes = std::array<float, 4>;
// The eight CMY corners at one K, indexed Y·4 + M·2 + C.
using CmyCorners = std::array<Lanes, 8>;

constexpr Lanes lerp(const Lanes& a, const Lanes& b, float t) {
    Lanes out{};
    for (std::size_t i = 0; i < 4; ++i) out[i] = a[i] + (b[i] - a[i]) * t;
    return out;
}

constexpr CmyCorners at_k(float k) {
    CmyCorners out{};
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t c = i & 1, m = (i >> 1) & 1, y = (i >> 2) & 1;
        const std::size_t without_k = c << 3 | m << 2 | y << 1;
        Lanes a{}, b{};
        for (std::size_t ch = 0; ch < 3; ++ch) {
            a[ch] = CMYK_CORNERS[without_k][ch];
            b[ch] = CMYK_CORNERS[without_k | 1][ch];
        }
        out[i] = lerp(a, b, k);
    }
    return out;
}

constexpr float unit_of(std::uint8_t v) { return float(v) / 255; }

// Pixels mostly come as bytes: the K step is worked out beforehand for each of its 256 values.
constexpr std::array<CmyCorners, 256> K_LAYERS = [] {
    std::array<CmyCorners, 256> out{};
    for (std::size_t k = 0; k < 256; ++k) out[k] = at_k(unit_of(std::uint8_t(k)));
    return out;
}();

Lanes between(const CmyCorners& v, float c, float m, float y) {
    const Lanes c0 = lerp(lerp(v[0], v[4], y), lerp(v[2], v[6], y), m);
    const Lanes c1 = lerp(lerp(v[1], v[5], y), lerp(v[3], v[7], y), m);
    return lerp(c0, c1, c);
}

// Interpolating between bytes stays within 0–255 up to rounding error, so v + 0.5 stays
// within what a byte takes.
std::uint8_t byte(float v) { return std::uint8_t(v + 0.5f); }

float unit(float v) { return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f); }

void store(const Lanes& v, std::uint8_t* rgb) {
    rgb[0] = byte(v[0]);
    rgb[1] = byte(v[1]);
    rgb[2] = byte(v[2]);
}

template <bool alpha>
void convert_pixels(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t count) {
    constexpr std::size_t in = alpha ? 5 : 4, out = alpha ? 4 : 3;
    std::uint8_t previous[in] = {};
    for (std::size_t i = 0; i < count; ++i, cmyk += in, rgb += out) {
        // Flat areas and the rows of a gradient repeat one colour many times.
        if (i > 0 && std::memcmp(cmyk, previous, in) == 0) {
            std::memcpy(rgb, rgb - out, out);
            continue;
        }
        std::memcpy(previous, cmyk, in);
        const std::uint8_t a = alpha ? cmyk[4] : 255;
        if (a == 255) {
            store(between(K_LAYERS[cmyk[3]], unit_of(cmyk[0]), unit_of(cmyk[1]), unit_of(cmyk[2])), rgb);
        } else if (a == 0) {
            rgb[0] = rgb[1] = rgb[2] = 0;
        } else {
            // Premultiplied samples. The conversion is not linear, so it works on the colour
            // itself, sample / alpha, and premultiplies the result.
            const float inverse = 1.0f / a;
            const Lanes v = between(at_k(unit(cmyk[3] * inverse)),
                                    unit(cmyk[0] * inverse),
                                    unit(cmyk[1] * inverse),
                                    unit(cmyk[2] * inverse));
            const float cover = unit_of(a);
            store({v[0] * cover, v[1] * cover, v[2] * cover, 0}, rgb);
        }
        if constexpr (alpha) rgb[3] = a;
    }
}

}  // namespace

Rgb8 cmyk_to_rgb(Cmyk ink) noexcept {
    Rgb8 out;
    store(between(at_k(unit(ink.k)), unit(ink.c), unit(ink.m), unit(ink.y)), out.data());
    return out;
}

void cmyk_pixels_to_rgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t count, bool alpha) noexcept {
    if (alpha)
        convert_pixels<true>(cmyk, rgb, count);
    else
        convert_pixels<false>(cmyk, rgb, count);
}

}  // namespace tesmira::engine
