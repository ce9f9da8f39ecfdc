#!/usr/bin/env bash
# Makes the README's pictures of the window: a finished comparison of the bundled sample
# PDFs, and the same in archive mode, on a virtual 1440 × 900 display (xvfb).
#   tools/make-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target window_screenshot
shoot() { xvfb-run -a -s "-screen 0 1440x900x24" env QT_QPA_PLATFORM=xcb "$build/tools/window_screenshot" "$@"; }
shoot docs/window.png
shoot docs/window-archive.png --archive
echo "docs/window.png docs/window-archive.png"
