#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed application: the
# program with its worker, stamp images, menu entry and icon where they belong, the worker
# comparing the sample pair with its stamp images, and the desktop program starting there.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
prefix=$(mktemp -d)
trap 'kill "$app" 2>/dev/null || true; rm -rf "$prefix"' EXIT
app=

cmake --install "$build" --prefix "$prefix" > /dev/null

fail() { echo "FAIL: $*"; exit 1; }
[ -x "$prefix/bin/tesmira" ] || fail "no bin/tesmira"
[ -x "$prefix/bin/worker/TesmiraWorker" ] || fail "no bin/worker/TesmiraWorker beside tesmira"
[ -f "$prefix/bin/references/install-brand/stamp.png" ] || fail "no stamp image"
[ -f "$prefix/bin/references/mark_tesmira.png" ] || fail "no web mark"
[ -f "$prefix/share/icons/hicolor/256x256/apps/tesmira.png" ] || fail "no icon"
entry="$prefix/share/applications/tesmira.desktop"
[ -f "$entry" ] || fail "no menu entry"
grep -qx "Exec=\"$prefix/bin/tesmira\"" "$entry" || fail "the menu entry does not start the installed program: $(grep Exec "$entry")"
grep -qx "Icon=tesmira" "$entry" || fail "the menu entry has no icon"
# Valid without a single hint, and it offers to open no file: the program takes none.
hints=$(desktop-file-validate "$entry" 2>&1) || fail "the menu entry is invalid: $hints"
[ -z "$hints" ] || fail "desktop-file-validate has hints for the menu entry: $hints"
grep -q '^MimeType=' "$entry" && fail "the menu entry declares file types, but the program opens no file"

# The installed worker finds its stamp images: a run with the stamp on completes.
mkdir -p "$prefix/out"
events=$("$prefix/bin/worker/TesmiraWorker" --before "$source/samples/old/catalogue.pdf" \
  --after "$source/samples/new/catalogue.pdf" --output-root "$prefix/out" \
  --settings-json '{"dpi": 144, "stamp": true}' 2>&1) || fail "installed worker failed: $events"
tail -n 1 <<< "$events" | grep -q '"event": "complete"' || fail "installed worker did not complete: $events"

# The installed program starts offscreen with its window, reads the project list (which
# creates the archive folder) and keeps running.
home="$prefix/home"
mkdir -p "$home"
HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen "$prefix/bin/tesmira" > "$prefix/app.log" 2>&1 &
app=$!
for _ in $(seq 50); do
  [ -d "$home/てすみら保存版" ] && break
  sleep 0.1
done
[ -d "$home/てすみら保存版" ] || fail "the installed program did not come up: $(cat "$prefix/app.log")"
sleep 0.5
kill -0 "$app" 2> /dev/null || fail "the installed program ended: $(cat "$prefix/app.log")"
echo "installed into $prefix: ok"
