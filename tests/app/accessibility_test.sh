#!/usr/bin/env bash
# The window stays up while assistive technology reads it: a screen-reader-like client polls
# the accessible tree over the accessibility bus while the window runs whole comparisons
# (normal and archive mode) and its lists are emptied after each run.
#   accessibility_test.sh ACCESSIBILITY_WINDOW_PROGRAM RUNS
# Runs itself inside a private D-Bus session on a virtual display.
set -euo pipefail
program=$1 runs=$2
if [ -z "${TESMIRA_ACCESSIBILITY_SESSION:-}" ]; then
  export TESMIRA_ACCESSIBILITY_SESSION=1
  exec xvfb-run -a -s "-screen 0 1440x900x24" dbus-run-session -- bash "$0" "$@"
fi
work=$(mktemp -d)
trap 'kill $(jobs -p) 2> /dev/null || true; rm -rf "$work"' EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately > /dev/null 2>&1 &
sleep 1
/usr/bin/python3 "$(dirname "$0")/accessibility_poller.py" tesmira 3600 > "$work/poller.log" 2>&1 &
for run in $(seq "$runs"); do
  mode=(); [ $((run % 2)) -eq 0 ] && mode=(--archive)
  status=0
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$program" "${mode[@]}" > "$work/run.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL: run $run ended with status $status"; cat "$work/run.log"; exit 1
  fi
done
# The client must have read the window, or the runs prove nothing.
grep -q "^read [1-9]" "$work/poller.log" || { echo "FAIL: the accessibility client read no window"; cat "$work/poller.log"; exit 1; }
echo "$runs runs read by an accessibility client: ok ($(grep -c '^read' "$work/poller.log") seconds of reading)"
