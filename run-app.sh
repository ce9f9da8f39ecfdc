#!/usr/bin/env bash
# Starts the desktop application on a fresh Debian 12 desktop: installs what is missing,
# builds `tesmira` with its worker, and starts it.   Usage: ./run-app.sh
set -euo pipefail
cd "$(dirname "$0")"

tools/install-packages.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --target tesmira

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop session here (neither DISPLAY nor WAYLAND_DISPLAY is set); run build/tesmira from one." >&2
  exit 1
fi
exec build/tesmira
