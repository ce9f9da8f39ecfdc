#!/usr/bin/env bash
# Times the whole worker on a 20-page A4 pair at 300 and at 144 dpi against a baseline that
# only renders both documents, one after the other on one thread, with MuPDF's own tool. The
# baseline runs right before each worker run, so that both see the same load. Prints the
# medians of the times and of the ratios, the worker's peak memory (also for a 5-page pair at
# 300 dpi, which should be the same), and the size of the result PDF.
# Needs mupdf-tools, GNU time and bc; run from the build folder's parent:
#   bench/worker_vs_mutool.sh [BUILD_DIR [RUNS]]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new" "$work/small/old" "$work/small/new"
# A photo of 1000 px keeps each document under the 60 MiB limit per file.
"$build/bench/make_pdf_pair" "$work/old/catalogue.pdf" "$work/new/catalogue.pdf" 20 4 11 17 --photo 1000
"$build/bench/make_pdf_pair" "$work/small/old/catalogue.pdf" "$work/small/new/catalogue.pdf" 5 4 --photo 1000

seconds() { local start=$(date +%s.%N); "$@" > /dev/null 2>&1; echo "$(date +%s.%N) - $start" | bc; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# worker DPI FOLDER: runs the worker once into a fresh output root; prints "seconds peak_kb pdf_bytes".
worker() {
  rm -rf "$work/out" && mkdir "$work/out"
  /usr/bin/time -f '%e %M' -o "$work/time" "$build/worker/TesmiraWorker" \
    --before "$2/old/catalogue.pdf" --after "$2/new/catalogue.pdf" --output-root "$work/out" \
    --settings-json "{\"dpi\": $1}" > "$work/events"
  tail -n 1 "$work/events" | grep -q '"event": "complete"' || { echo "the worker did not complete" >&2; cat "$work/events" >&2; exit 1; }
  local pdf
  pdf=$(find "$work/out" -name '*.pdf' -print -quit)
  echo "$(cat "$work/time") $(stat -c %s "$pdf")"
}

for dpi in 300 144; do
  : > "$work/baseline" && : > "$work/worker" && : > "$work/ratio" && : > "$work/peak" && : > "$work/size"
  for _ in $(seq "$runs"); do
    base=$(seconds sh -c "mutool draw -q -r $dpi -F pnm -c rgb -o /dev/null '$work/old/catalogue.pdf' &&
                          mutool draw -q -r $dpi -F pnm -c rgb -o /dev/null '$work/new/catalogue.pdf'")
    read -r time peak_kb bytes < <(worker "$dpi" "$work")
    echo "$base" >> "$work/baseline"
    echo "$time" >> "$work/worker"
    echo "scale=3; $time / $base" | bc >> "$work/ratio"
    echo "$peak_kb" >> "$work/peak"
    echo "$bytes" >> "$work/size"
  done
  echo "$dpi dpi, 20 pages, median of $runs runs:"
  echo "  baseline (mutool draw, both documents): $(median < "$work/baseline") s"
  echo "  worker (whole run, result folder published): $(median < "$work/worker") s"
  echo "  ratio: $(median < "$work/ratio")  (each run: $(paste -sd ' ' "$work/ratio"))"
  echo "  worker peak memory: $(( $(median < "$work/peak") / 1024 )) MB"
  echo "  result PDF: $(median < "$work/size") bytes"
done
read -r _ peak_kb _ < <(worker 300 "$work/small")
echo "300 dpi, 5 pages: worker peak memory $((peak_kb / 1024)) MB"
