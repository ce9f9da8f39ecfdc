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

Rgb8 convert_pixel(const std::uint8_t* cmyk) {
    Rgb8 out;
    store(between(K_LAYERS[cmyk[3]], unit_of(cmyk[0]), unit_of(cmyk[1]), unit_of(cmyk[2])), out.data());
    return out;
}

std::uint32_t pixel_at(const std::uint8_t* cmyk, std::size_t i) {
    std::uint32_t v;
    std::memcpy(&v, cmyk + 4 * i, 4);
    return v;
}

// How many pixels from `i` on are `pixel`, two at a time while they last.
std::size_t run_end(const std::uint8_t* cmyk, std::size_t i, std::size_t count, std::uint32_t pixel) {
    const std::uint64_t two = std::uint64_t(pixel) << 32 | pixel;
    for (; i + 2 <= count; i += 2) {
        std::uint64_t v;
        std::memcpy(&v, cmyk + 4 * i, 8);
        if (v != two) break;
    }
    while (i < count && pixel_at(cmyk, i) == pixel) ++i;
    return i;
}

// `count` copies of `colour` from `rgb` on, sixteen at a time in a long run.
void fill(std::uint8_t* rgb, std::size_t count, const Rgb8& colour) {
    if (count < 16) {
        for (std::size_t i = 0; i < count; ++i) std::memcpy(rgb + 3 * i, colour.data(), 3);
        return;
    }
    std::uint8_t sixteen[48];
    for (std::size_t i = 0; i < 16; ++i) std::memcpy(sixteen + 3 * i, colour.data(), 3);
    for (; count >= 16; count -= 16, rgb += 48) std::memcpy(rgb, sixteen, 48);
    std::memcpy(rgb, sixteen, 3 * count);
}

}  // namespace

Rgb8 cmyk_to_rgb(Cmyk ink) noexcept {
    Rgb8 out;
    store(between(at_k(unit(ink.k)), unit(ink.c), unit(ink.m), unit(ink.y)), out.data());
    return out;
}

void cmyk_pixels_to_rgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t count) noexcept {
    // Plates are paper and flat areas mostly: each run of one colour is converted once.
    for (std::size_t i = 0; i < count;) {
        const std::uint32_t pixel = pixel_at(cmyk, i);
        const std::size_t end = run_end(cmyk, i + 1, count, pixel);
        fill(rgb + 3 * i, end - i, convert_pixel(cmyk + 4 * i));
        i = end;
    }
}

}  // namespace tesmira::engine
