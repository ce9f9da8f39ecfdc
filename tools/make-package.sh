#!/usr/bin/env bash
# Builds the Debian package from this checkout, offline, from Debian's packages only:
# installs what the build and the packaging need (as root, or through sudo), then runs
# dpkg-buildpackage and leaves the package in OUTPUT_FOLDER (default: build-package/).
#   tools/make-package.sh [OUTPUT_FOLDER]
# Install it with: sudo apt install ./build-package/tesmira_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-build-package}")

tools/install-packages.sh .ci/packages-build.txt .ci/packages-package.txt

# dpkg-buildpackage writes its files beside the source folder; a scratch copy keeps them
# and its build folder out of this checkout and its parent.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/tesmira"
tar --exclude=./.git --exclude='./build*' -cf - . | tar -xf - -C "$scratch/tesmira"
# Its compiler lines go to a log, shown only when the build fails.
if ! (cd "$scratch/tesmira" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
  dpkg-buildpackage -b -us -uc) > "$scratch/build.log" 2>&1; then
  tail -n 60 "$scratch/build.log" >&2
  echo "the package did not build; the last lines of dpkg-buildpackage are above" >&2
  exit 1
fi

mkdir -p "$output"
cp "$scratch"/*.deb "$scratch"/*.buildinfo "$scratch"/*.changes "$output"/
ls -l "$output"/*.deb
