#!/usr/bin/env bash
# Times the whole worker on a 20-page A4 pair at 300 dpi against a baseline that only
# renders both documents with MuPDF's own tool, in one run, and prints the ratio and the
# worker's peak memory. Needs mupdf-tools and GNU time; run from the build folder's parent:
#   bench/worker_vs_mutool.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new" "$work/out"
# A photo of 1000 px keeps each document under the 60 MiB limit per file.
"$build/bench/make_pdf_pair" "$work/old/catalogue.pdf" "$work/new/catalogue.pdf" 20 4 11 17 --photo 1000

seconds() { local start=$(date +%s.%N); "$@" > /dev/null 2>&1; echo "$(date +%s.%N) - $start" | bc; }

baseline=$(seconds sh -c "mutool draw -q -r 300 -F pnm -o /dev/null '$work/old/catalogue.pdf' && mutool draw -q -r 300 -F pnm -o /dev/null '$work/new/catalogue.pdf'")
/usr/bin/time -f '%e %M' -o "$work/time" "$build/worker/TesmiraWorker" \
  --before "$work/old/catalogue.pdf" --after "$work/new/catalogue.pdf" --output-root "$work/out" > "$work/events"
read -r worker peak_kb < "$work/time"
tail -n 1 "$work/events" | grep -q '"event": "complete"' || { echo "the worker did not complete"; cat "$work/events"; exit 1; }
echo "baseline (mutool draw, both documents): ${baseline} s"
echo "worker (whole run, result folder published): ${worker} s"
echo "ratio: $(echo "scale=2; $worker / $baseline" | bc)"
echo "worker peak memory: $((peak_kb / 1024)) MB"
