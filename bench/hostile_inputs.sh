#!/usr/bin/env bash
# Runs the worker on hostile PDFs of a few kilobytes, the same file as the old and the new side:
# a page of endless drawing (form XObjects each drawing the next twice, 40 deep) and images whose
# headers declare gigabytes (JPEG 2000 of 20000 x 20000 x 3, JBIG2 of 4e9 x 4e9). Prints each
# run's outcome, seconds and peak memory; also SIGTERM during the endless page, and how long the
# worker takes to end. With BASELINE_BUILD the same for another build's worker, each run cut
# off after LIMIT seconds (default 60). Needs GNU time.
#   bench/hostile_inputs.sh [BUILD_DIR [BASELINE_BUILD [LIMIT]]]
set -uo pipefail
# The worker of a build tree: in libexec/tesmira, or in worker/ in builds before the package.
worker_of() { if [ -x "$1/libexec/tesmira/TesmiraWorker" ]; then echo "$1/libexec/tesmira/TesmiraWorker"; else echo "$1/worker/TesmiraWorker"; fi; }
build=${1:-build}
baseline=${2:-}
limit=${3:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for kind in fan-out jpeg2000 jbig2; do
  mkdir -p "$work/$kind/old" "$work/$kind/new"
  "$build/bench/make_hostile_pdf" "$kind" "$work/$kind/old/a.pdf"
  cp "$work/$kind/old/a.pdf" "$work/$kind/new/a.pdf"
done

# run WORKER KIND: "status seconds peak_MB last-event"
run() {
  rm -rf "$work/out" && mkdir "$work/out"
  timeout -s KILL "$limit" /usr/bin/time -f '%x %e %M' -o "$work/time" "$(worker_of "$1")" \
    --before "$work/$2/old/a.pdf" --after "$work/$2/new/a.pdf" --output-root "$work/out" \
    --settings-json '{"dpi": 300}' > "$work/events" 2>/dev/null
  if [ -s "$work/time" ] && read -r status seconds peak < <(tail -n 1 "$work/time") && [ "$status" != "" ]; then
    echo "exit $status, $seconds s, peak $((peak / 1024)) MB: $(tail -n 1 "$work/events" | cut -c1-160)"
  else
    echo "killed after $limit s"
  fi
  rm -f "$work/time"
}

# terminate WORKER: seconds from SIGTERM, sent 1 s into the endless page, to the worker's end.
terminate() {
  rm -rf "$work/out" && mkdir "$work/out"
  "$(worker_of "$1")" --before "$work/fan-out/old/a.pdf" --after "$work/fan-out/new/a.pdf" \
    --output-root "$work/out" --settings-json '{"dpi": 300}' > /dev/null 2>&1 &
  local pid=$!
  sleep 1
  local start=$(date +%s.%N)
  kill -TERM "$pid"
  local waited=0
  while kill -0 "$pid" 2> /dev/null && [ "$waited" -lt "$((limit * 10))" ]; do sleep 0.1; waited=$((waited + 1)); done
  if kill -0 "$pid" 2> /dev/null; then kill -KILL "$pid"; wait "$pid" 2> /dev/null; echo "still running after $limit s"; return; fi
  wait "$pid"
  echo "exit $?, ended $(echo "$(date +%s.%N) - $start" | bc) s after SIGTERM, leaving $(find "$work/out" -mindepth 1 | wc -l) items"
}

for worker in "$build" ${baseline:+"$baseline"}; do
  echo "worker of $worker:"
  for kind in fan-out jpeg2000 jbig2; do echo "  $kind: $(run "$worker" "$kind")"; done
  echo "  SIGTERM during the fan-out page: $(terminate "$worker")"
done
