#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tesmira::engine {

using Rgb8 = std::array<std::uint8_t, 3>;

// The screen appearance of the 16 solid ink combinations, indexed C·8 + M·4 + Y·2 + K
// with each ink 0 or 1. Every CMYK colour is interpolated between these.
//
// Where the values come from:
// - Paper is white.
// - The K-free solids and overprints are the familiar sRGB renderings of SWOP/FOGRA-type
//   coated process inks (C 0,174,239  M 236,0,140  Y 255,242,0  C+M 46,49,146
//   C+Y 0,166,81  M+Y 237,28,36), and three-ink black a little lighter than solid K, as on
//   coated stock.
// - More ink must never be lighter in any channel, or two colours could meet and a change
//   vanish. sRGB clips each solid's blocked channel to 0, which would turn everything with
//   all three inks into one black, so those channels are raised at least to the three-ink
//   black (36,34,48), yellow's blue to 60 for the sake of C+Y, and each overprint is capped by
//   the corners with fewer inks. That black is as dark as it can be for K 5 % on it to still
//   show. Solids and overprints move by up to 10 ΔE.
// - K on top of a colour works as a filter: each K corner is the K-free corner times solid K
//   (35,31,32), multiplied in linear light and rounded. So even four solids stay apart from
//   their neighbours.
inline constexpr std::array<Rgb8, 16> CMYK_CORNERS{{
    // C M Y K
    {255, 255, 255},  // 0 0 0 0  paper
    {35, 31, 32},     // 0 0 0 1
    {255, 242, 60},   // 0 0 1 0
    {35, 29, 2},      // 0 0 1 1
    {236, 34, 140},   // 0 1 0 0
    {32, 1, 12},      // 0 1 0 1
    {236, 34, 48},    // 0 1 1 0
    {32, 1, 1},       // 0 1 1 1
    {36, 174, 239},   // 1 0 0 0
    {1, 17, 29},      // 1 0 0 1
    {36, 166, 60},    // 1 0 1 0
    {1, 16, 2},       // 1 0 1 1
    {36, 34, 140},    // 1 1 0 0
    {1, 1, 12},       // 1 1 0 1
    {36, 34, 48},     // 1 1 1 0
    {1, 1, 1},        // 1 1 1 1
}};

// Ink coverage, 0 to 1 each; values outside are clamped.
struct Cmyk {
    float c = 0, m = 0, y = 0, k = 0;
};

// Quadrilinear between the corners: continuous, and never lighter with more of any ink.
Rgb8 cmyk_to_rgb(Cmyk ink) noexcept;

// `count` pixels of 4 bytes (C, M, Y, K) into 3 (R, G, B), each as cmyk_to_rgb converts it.
void cmyk_pixels_to_rgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t count) noexcept;

}  // namespace tesmira::engine
