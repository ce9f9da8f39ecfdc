#!/usr/bin/env bash
# Makes the README's pictures of the window: a finished comparison of the bundled sample
# PDFs, the same in archive mode, a change stepped to and zoomed, its old page, and the old and
# new page side by side, on a virtual 1440 × 900 display (xvfb).
#   tools/make-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target window_screenshot
shoot() { xvfb-run -a -s "-screen 0 1440x900x24" env QT_QPA_PLATFORM=xcb "$build/tools/window_screenshot" "$@"; }
shoot docs/window.png
shoot docs/window-archive.png --archive
# The fourth change of the sample is its price, 1280 yen become 1290.
shoot docs/window-change.png --changes 4
shoot docs/window-old.png --changes 4 --view before
shoot docs/window-side-by-side.png --changes 4 --view side
echo docs/window*.png
