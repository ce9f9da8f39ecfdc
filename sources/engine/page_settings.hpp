#pragma once
#include <string>

#include "common/json.hpp"

namespace tesmira::engine {

// What the information band shows above a result image.
struct BandSettings {
    double dpi = 300;                     // the resolution the band's layout scales with
    std::string before_name, after_name;  // the two file names as the band shows them
    bool stamp = true;                    // the stamp at the band's left
    bool web_stamp = false;               // the web stamp instead of the installed one
};

// The settings of one page comparison, read once from the JSON the page is given.
struct PageSettings {
    int page = 1;  // counted from 1
    double dpi = 300;
    int tolerance = 1, opacity = 10, border = 2;
    bool noise = false;  // the noise pass ("grain")
    bool tiny_markers = false;
    bool diagnostic_images = true;  // "mask.png", "before.png" and "after.png" beside the result
    BandSettings band;
    Json recorded;  // the settings as given, which the page's record repeats
};

// Reads a page's settings: "page" (from 1), "dpi", "tolerance", "opacity" and "border" are
// required (a missing one is a MissingSettingError naming it, looked for in that order);
// "grain", "tiny_markers" and "diagnostic_images" are truth values (off, off and on when
// absent); the band's keys are read as read_band_settings reads them. Refuses a resolution
// other than 144, 200 or 300 dpi before converting any other value.
PageSettings read_page_settings(const Json& settings);

// Reads "dpi" (required), "before_name" and "after_name" (shown as display_filename shows
// them; "before.pdf" and "after.pdf" when absent, false, null, zero or empty), "stamp" (on
// when absent) and "stamp_style" ("web" for the web stamp).
BandSettings read_band_settings(const Json& settings);

}  // namespace tesmira::engine
