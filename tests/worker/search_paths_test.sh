#!/usr/bin/env bash
# Every program and library built in the build tree names its libraries' folders by absolute or
# $ORIGIN paths only: an empty entry in RUNPATH or RPATH (a trailing ":") or a relative one is
# read by the loader against the current folder, from which a planted "libc.so.6" would load.
#   search_paths_test.sh BUILD_DIR
set -euo pipefail
build=$1
checked=0 failed=0
fail() { echo "FAIL: ${file#"$build/"} $1 (in '$paths')"; failed=$((failed + 1)); }
while IFS= read -r -d '' file; do
  # Only ELF files have a dynamic section; readelf refuses the rest.
  dynamic=$(readelf -d "$file" 2> /dev/null) || continue
  checked=$((checked + 1))
  while IFS= read -r paths; do
    [[ ":$paths:" != *::* ]] || fail "has an empty entry"
    IFS=: read -r -a entries <<< "$paths"
    for entry in "${entries[@]}"; do
      case $entry in
        '' | /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *) fail "searches the relative '$entry'" ;;
      esac
    done
  done < <(sed -n 's/.*(\(RUNPATH\|RPATH\)).*path: \[\(.*\)\]$/\2/p' <<< "$dynamic")
done < <(find "$build" -path "$build/CMakeFiles" -prune -o -path '*/CMakeFiles' -prune -o -type f -perm -u+x -print0 \
  -o -type f -name '*.so*' -print0)
[ "$checked" -gt 0 ] || { echo "FAIL: no program found in $build"; exit 1; }
echo "$checked programs and libraries checked"
[ "$failed" -eq 0 ]
