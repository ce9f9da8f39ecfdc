#!/usr/bin/env bash
# Checks an installed application under PREFIX: the programs, the worker and its helpers, stamp
# images, menu entry, icons, metainfo, manual pages and shell completions where the FHS puts
# them, the worker comparing the sample pair with its stamp images, tesmira-compare's verdict,
# and the desktop program starting there. Used on a `cmake --install` prefix and on the installed package (/usr).
#   installed_checks.sh PREFIX SOURCE_DIR
set -euo pipefail
prefix=$1 source=$2
work=$(mktemp -d)
trap 'kill "$app" 2>/dev/null || true; rm -rf "$work"' EXIT
app=

fail() { echo "FAIL: $*"; exit 1; }
for program in bin/tesmira bin/tesmira-compare libexec/tesmira/TesmiraWorker libexec/tesmira/tesmira-page-job \
  libexec/tesmira/tesmira-page-views; do
  [ -x "$prefix/$program" ] || fail "no $program"
done
# Each program of the worker's library finds the installed one, not the build tree's.
for program in bin/tesmira-compare libexec/tesmira/TesmiraWorker libexec/tesmira/tesmira-page-job \
  libexec/tesmira/tesmira-page-views; do
  library=$(ldd "$prefix/$program" | awk '/libtesmira\.so/ { print $3 }')
  [ -n "$library" ] && [ "$(realpath "$library")" = "$(realpath "$prefix/lib/tesmira/libtesmira.so")" ] ||
    fail "$program loads '$library' instead of the installed library"
done
[ -f "$prefix/share/tesmira/references/install-brand/stamp.png" ] || fail "no stamp image"
[ -f "$prefix/share/tesmira/references/mark_tesmira.png" ] || fail "no web mark"
for size in 48 64 128 256; do
  [ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/tesmira.png" ] || fail "no ${size} px icon"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/tesmira.svg" ] || fail "no scalable icon"
for page in tesmira tesmira-compare TesmiraWorker tesmira-page-job; do
  [ -f "$prefix/share/man/man1/$page.1" ] || [ -f "$prefix/share/man/man1/$page.1.gz" ] || fail "no manual page $page.1"
done
metainfo="$prefix/share/metainfo/com.example.tesmira.metainfo.xml"
[ -f "$metainfo" ] || fail "no metainfo"
if command -v appstreamcli > /dev/null; then
  appstreamcli validate --no-net "$metainfo" > /dev/null || fail "invalid metainfo: $(appstreamcli validate --no-net "$metainfo")"
fi
entry="$prefix/share/applications/tesmira.desktop"
[ -f "$entry" ] || fail "no menu entry"
# /usr/bin is on every PATH; elsewhere the entry names the program where it is.
if [ "$prefix" = /usr ]; then exec_line="Exec=tesmira %F"; else exec_line="Exec=\"$prefix/bin/tesmira\" %F"; fi
grep -qx "$exec_line" "$entry" || fail "the menu entry does not start the installed program: $(grep Exec "$entry")"
grep -qx "Icon=tesmira" "$entry" || fail "the menu entry has no icon"
grep -qx "Name=Tesmira" "$entry" && grep -qx "Name\[ja\]=てすみら" "$entry" || fail "the menu entry's names: $(grep Name "$entry")"
# Offered under "Open with" for PDFs, and the default of no desktop: no mimeapps.list of ours.
grep -qx "MimeType=application/pdf;" "$entry" || fail "the menu entry does not open PDFs: $(grep MimeType "$entry")"
[ -z "$(find "$prefix/share/applications" -name '*mimeapps.list')" ] || fail "a mimeapps.list makes Tesmira a default"
# Valid without a single hint.
hints=$(desktop-file-validate "$entry" 2>&1) || fail "the menu entry is invalid: $hints"
[ -z "$hints" ] || fail "desktop-file-validate has hints for the menu entry: $hints"

# Shell completion where bash-completion and zsh look, offering every option of the help.
completion="$prefix/share/bash-completion/completions/tesmira-compare"
[ -f "$completion" ] || fail "no bash completion"
[ -f "$prefix/share/zsh/vendor-completions/_tesmira-compare" ] || fail "no zsh completion"
if command -v zsh > /dev/null; then
  zsh -n "$prefix/share/zsh/vendor-completions/_tesmira-compare" || fail "the zsh completion does not parse"
fi
complete_words() {  # WORD...: what the completion offers for the last word
  (cd "$work/completion" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _tesmira_compare; printf "%s\n" "${COMPREPLY[@]}"' complete "$completion" tesmira-compare "$@")
}
mkdir -p "$work/completion/folder"
touch "$work/completion/a.pdf" "$work/completion/B.PDF" "$work/completion/notes.txt"
offered=$(complete_words --)
for option in $("$prefix/bin/tesmira-compare" --help | grep -o -- '--[a-z-]*' | sort -u); do
  grep -qx -- "$option" <<< "$offered" || fail "the completion does not offer $option: $offered"
done
[ "$(complete_words --dpi '' | tr '\n' ' ')" = "144 200 300 " ] || fail "the completion's resolutions: $(complete_words --dpi '')"
[ "$(complete_words '' | LC_ALL=C sort | tr '\n' ' ')" = "B.PDF a.pdf folder " ] ||
  fail "the completion offers other than PDFs and folders: $(complete_words '')"

# The installed worker finds its stamp images: a run with the stamp on completes.
mkdir -p "$work/out"
events=$("$prefix/libexec/tesmira/TesmiraWorker" --before "$source/samples/old/catalogue.pdf" \
  --after "$source/samples/new/catalogue.pdf" --output-root "$work/out" \
  --settings-json '{"dpi": 144, "stamp": true}' 2>&1) || fail "installed worker failed: $events"
tail -n 1 <<< "$events" | grep -q '"event": "complete"' || fail "installed worker did not complete: $events"

# tesmira-compare runs on the installed library and exits like diff.
"$prefix/bin/tesmira-compare" --dpi 144 "$source/samples/old/catalogue.pdf" "$source/samples/old/catalogue.pdf" \
  > /dev/null || fail "tesmira-compare found a change between a file and itself"
status=0
"$prefix/bin/tesmira-compare" --dpi 144 "$source/samples/old/catalogue.pdf" "$source/samples/new/catalogue.pdf" \
  > "$work/compare.txt" || status=$?
[ "$status" -eq 1 ] || fail "tesmira-compare exited $status on a changed pair: $(cat "$work/compare.txt")"
env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/tesmira" --version | grep -qx "tesmira [0-9.]*" ||
  fail "tesmira --version without a display"

# The installed program starts offscreen with its window, reads the project list (which
# creates the archive folder) and keeps running. No session bus: a window open elsewhere on
# the machine would take its start over.
home="$work/home"
mkdir -p "$home"
HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
  "$prefix/bin/tesmira" > "$work/app.log" 2>&1 &
app=$!
for _ in $(seq 50); do
  [ -d "$home/てすみら保存版" ] && break
  sleep 0.1
done
[ -d "$home/てすみら保存版" ] || fail "the installed program did not come up: $(cat "$work/app.log")"
sleep 0.5
kill -0 "$app" 2> /dev/null || fail "the installed program ended: $(cat "$work/app.log")"
echo "installed under $prefix: ok"
