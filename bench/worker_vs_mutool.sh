#!/usr/bin/env bash
# Times the whole worker on 20-page A4 pairs at 300 and at 144 dpi: an RGB catalogue, and the
# same catalogue made for the press (CMYK photos, a spot ink, overprinted text, rich blacks).
# Against, in the same round, each right before the worker so that all see the same load:
# - MuPDF's own tool rendering both documents one after the other on one thread, in RGB and in
#   CMYK with overprint simulated (-O 1);
# - with BASELINE_BUILD, the worker of another build (today's, say).
# Prints the medians of the times and of the ratios, the peak memory, and the result PDF's size.
# Needs mupdf-tools, GNU time and bc; run from the build folder's parent:
#   bench/worker_vs_mutool.sh [BUILD_DIR [RUNS [BASELINE_BUILD]]]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
baseline=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A photo of 1000 px keeps each document under the 60 MiB limit per file.
for kind in rgb press; do
  mkdir -p "$work/$kind/old" "$work/$kind/new"
  flag=$([ "$kind" = press ] && echo --press || true)
  "$build/bench/make_pdf_pair" "$work/$kind/old/catalogue.pdf" "$work/$kind/new/catalogue.pdf" 20 4 11 17 \
    --photo 1000 $flag
done
mkdir -p "$work/small/old" "$work/small/new"
"$build/bench/make_pdf_pair" "$work/small/old/catalogue.pdf" "$work/small/new/catalogue.pdf" 5 4 --photo 1000

seconds() { local start=$(date +%s.%N); "$@" > /dev/null 2>&1; echo "$(date +%s.%N) - $start" | bc; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { echo "scale=3; $1 / $2" | bc; }

# mutool COLOURS DPI FOLDER: both documents rendered one after the other; prints seconds.
mutool_draw() {
  local options="-c rgb -F pnm" && [ "$1" = cmyk ] && options="-c cmyk -O 1 -F pam"
  seconds sh -c "mutool draw -q -r $2 $options -o /dev/null '$3/old/catalogue.pdf' &&
                 mutool draw -q -r $2 $options -o /dev/null '$3/new/catalogue.pdf'"
}

# worker BUILD DPI FOLDER: one run into a fresh output root; prints "seconds peak_kb pdf_bytes".
worker() {
  rm -rf "$work/out" && mkdir "$work/out"
  /usr/bin/time -f '%e %M' -o "$work/time" "$1/worker/TesmiraWorker" \
    --before "$3/old/catalogue.pdf" --after "$3/new/catalogue.pdf" --output-root "$work/out" \
    --settings-json "{\"dpi\": $2}" > "$work/events"
  tail -n 1 "$work/events" | grep -q '"event": "complete"' || { echo "the worker did not complete" >&2; cat "$work/events" >&2; exit 1; }
  local pdf
  pdf=$(find "$work/out" -name '*.pdf' -print -quit)
  echo "$(cat "$work/time") $(stat -c %s "$pdf")"
}

report() {  # NAME FILE: the median of the figures in FILE
  echo "  $1: $(median < "$work/figures/$2")"
}

for kind in rgb press; do
  for dpi in 300 144; do
    mkdir -p "$work/figures"
    for f in rgb cmyk worker peak size to_rgb to_cmyk base base_peak to_base peak_ratio; do : > "$work/figures/$f"; done
    for _ in $(seq "$runs"); do
      rgb=$(mutool_draw rgb "$dpi" "$work/$kind")
      cmyk=$(mutool_draw cmyk "$dpi" "$work/$kind")
      if [ -n "$baseline" ]; then
        read -r base base_peak _ < <(worker "$baseline" "$dpi" "$work/$kind")
        echo "$base" >> "$work/figures/base" && echo "$base_peak" >> "$work/figures/base_peak"
      fi
      read -r time peak_kb bytes < <(worker "$build" "$dpi" "$work/$kind")
      echo "$rgb" >> "$work/figures/rgb" && echo "$cmyk" >> "$work/figures/cmyk"
      echo "$time" >> "$work/figures/worker" && echo "$peak_kb" >> "$work/figures/peak" && echo "$bytes" >> "$work/figures/size"
      ratio "$time" "$rgb" >> "$work/figures/to_rgb" && ratio "$time" "$cmyk" >> "$work/figures/to_cmyk"
      if [ -n "$baseline" ]; then
        ratio "$time" "$base" >> "$work/figures/to_base" && ratio "$peak_kb" "$base_peak" >> "$work/figures/peak_ratio"
      fi
    done
    echo "$kind pair, $dpi dpi, 20 pages, median of $runs runs:"
    report "mutool draw -c rgb, both documents (s)" rgb
    report "mutool draw -c cmyk -O 1, both documents (s)" cmyk
    report "worker, whole run, result folder published (s)" worker
    report "worker / mutool rgb" to_rgb
    report "worker / mutool cmyk -O 1" to_cmyk
    echo "  worker peak memory: $(( $(median < "$work/figures/peak") / 1024 )) MB"
    if [ -n "$baseline" ]; then
      report "baseline worker (s)" base
      report "worker / baseline worker" to_base
      echo "  baseline peak memory: $(( $(median < "$work/figures/base_peak") / 1024 )) MB"
      report "peak memory / baseline's" peak_ratio
    fi
    report "result PDF (bytes)" size
  done
done
read -r _ peak_kb _ < <(worker "$build" 300 "$work/small")
echo "rgb pair, 300 dpi, 5 pages: worker peak memory $((peak_kb / 1024)) MB"
