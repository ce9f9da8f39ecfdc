#!/usr/bin/env bash
# Starts the desktop application on a fresh Debian 12 desktop: installs what is missing,
# builds `tesmira` with its worker and everything `cmake --install build` installs, and starts
# it.   Usage: ./run-app.sh
set -euo pipefail
cd "$(dirname "$0")"

tools/install-packages.sh .ci/packages-build.txt

# Without the tests, which need packages of their own (.ci/packages-test.txt).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF > /dev/null
# Everything that `cmake --install build` puts into place.
cmake --build build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop session here (neither DISPLAY nor WAYLAND_DISPLAY is set); run build/bin/tesmira from one." >&2
  exit 1
fi
exec build/bin/tesmira
