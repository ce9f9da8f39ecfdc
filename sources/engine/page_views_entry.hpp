#pragma once

namespace tesmira::engine {

// The window's helper: `tesmira-page-views BEFORE.pdf AFTER.pdf PAGE DPI BEFORE.png AFTER.png`
// draws the old and the new page of a compared pair as the comparison saw them. Each image
// appears whole under its name or not at all.
// Returns 0 when both are written; 1 after a failure, with its message on standard error;
// 2 for a wrong command line; 130 after SIGTERM. "--help" and "--version" print and return 0.
int page_views_main(int argc, char** argv);

}  // namespace tesmira::engine
