#!/usr/bin/env bash
# Checks the built Debian package itself, before it is installed: what it depends on and
# recommends, and that its copyright file names the MuPDF version linked in (the version of
# the headers on the building machine).
#   package_checks.sh PACKAGE.deb
set -euo pipefail
package=$1

fail() { echo "FAIL: $*"; exit 1; }
field() { dpkg-deb -f "$package" "$1"; }
# The icons go into the hicolor theme; xdg-user-dirs makes the Downloads folder the results go in.
grep -qw hicolor-icon-theme <<< "$(field Depends)" || fail "no dependency on hicolor-icon-theme: $(field Depends)"
grep -qw xdg-user-dirs <<< "$(field Recommends)" || fail "xdg-user-dirs is not recommended: $(field Recommends)"

built=$(sed -n 's/^#define FZ_VERSION "\(.*\)"$/\1/p' /usr/include/mupdf/fitz/version.h)
copyright=$(dpkg-deb --fsys-tarfile "$package" | tar -xOf - ./usr/share/doc/tesmira/copyright)
grep -q "MuPDF $built (libmupdf-dev)" <<< "$copyright" ||
  fail "the copyright file does not name MuPDF $built: $(grep MuPDF <<< "$copyright")"
echo "package $(basename "$package"): ok"
