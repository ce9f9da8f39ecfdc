#pragma once
// The seven comparison settings: their defaults and the values they may take. The worker
// checks a run's settings against them; the application keeps, edits and resets them.
#include <array>
#include <cstdint>

#include "common/json.hpp"

namespace tesmira {

struct ComparisonSettings {
    std::int64_t dpi, tolerance, opacity, border;
    bool stamp, tiny_markers;
    bool noise;  // the noise pass, stored under the key "grain"
};

inline constexpr ComparisonSettings DEFAULT_SETTINGS{300, 1, 10, 2, true, false, false};

// The settings as their JSON record holds them, in its fixed key order: "dpi", "tolerance",
// "opacity", "border", "stamp", "tiny_markers", "grain".
Json settings_record(const ComparisonSettings& settings);

// The resolutions a page is rendered at, in dpi, ascending.
inline constexpr std::array<std::int64_t, 3> RESOLUTIONS{144, 200, 300};

// Whole numbers from `low` to `high`, both included.
struct SettingRange {
    std::int64_t low, high;
    constexpr bool contains(std::int64_t value) const { return value >= low && value <= high; }
};

inline constexpr SettingRange TOLERANCE_RANGE{0, 255};  // colour difference taken as no change
inline constexpr SettingRange OPACITY_RANGE{0, 100};    // percent of the faded background
inline constexpr SettingRange BORDER_RANGE{1, 6};       // outline width in pixels

}  // namespace tesmira
