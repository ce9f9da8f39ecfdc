#!/usr/bin/env bash
# Times the whole worker against rendering alone, in the same rounds so that all see the same load:
# - MuPDF's own tool rendering both documents one after the other on one thread (`mutool draw`,
#   PNM to /dev/null, so that no encoding is timed; in CMYK with overprint, -O 1, for the press);
# - the same rendering split into page ranges over as many `mutool` processes as this machine
#   has processors;
# - with BASELINE_BUILD, the worker of another build (today's, say), in alternating rounds.
# Cases: the 20-page A4 catalogue pair at 300 and at 144 dpi (3 pages changed, the others
# proven alike), the same pair with every page changed, a 50-page pair at 300 dpi, a multi-file
# run of 20 files of 10 pages at 144 dpi, the 20-page catalogue made for the press (CMYK photos,
# a spot ink, overprinted text, rich blacks), and a 20-page CMYK pair with JPEG photos, two spot
# inks and overprinted text, one page changed, both at 300 dpi. Then: the time from the start to
# the first "progress" event; the 20-page pair on one processor and on all (taskset); the
# memory budget (the 50-page pair under 512 MiB), and the 20-page pair on two processors.
# Prints each figure's median over the rounds and, in brackets, its lowest and highest: the
# machine's noise; the worker's processor time (user and system) beside its elapsed time, which
# other work on the machine disturbs less. CASES="a4-300 cmyk" runs only the cases named (a4-300,
# edited, a4-144, long, files, press, cmyk, start, scaling, memory); all by default. Needs
# mupdf-tools, GNU time, taskset and bc; run from the build folder's parent:
#   [CASES="..."] bench/worker_vs_mutool.sh [BUILD_DIR [RUNS [BASELINE_BUILD]]]
set -euo pipefail
# The worker of a build tree: in libexec/tesmira, or in worker/ in builds before the package.
worker_of() { if [ -x "$1/libexec/tesmira/TesmiraWorker" ]; then echo "$1/libexec/tesmira/TesmiraWorker"; else echo "$1/worker/TesmiraWorker"; fi; }
build=${1:-build}
runs=${2:-5}
baseline=${3:-}
cases=${CASES:-a4-300 edited a4-144 long files press cmyk start scaling memory}
wanted() { [[ " $cases " == *" $1 "* ]]; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cores=$(nproc)

# A photo of 1000 px (600 px for 50 pages) keeps each document under the 60 MiB limit per file.
pair() {  # FOLDER PAGES PHOTO CHANGED [OPTIONS]: old/ and new/ with a catalogue of PAGES pages
  local folder=$1 pages=$2 photo=$3 changed=$4
  shift 4
  mkdir -p "$folder/old" "$folder/new"
  "$build/bench/make_pdf_pair" "$folder/old/catalogue.pdf" "$folder/new/catalogue.pdf" "$pages" $changed --photo "$photo" "$@" > /dev/null
}
pair "$work/a4" 20 1000 "4 11 17"
pair "$work/edited" 20 1000 "$(seq -s ' ' 1 20)"
pair "$work/long" 50 600 "4 11 17"
pair "$work/press" 20 1000 "4 11 17" --press
pair "$work/cmyk" 20 2000 "9" --press --jpeg
mkdir -p "$work/files/old" "$work/files/new"
for f in $(seq -w 1 20); do
  "$build/bench/make_pdf_pair" "$work/files/old/doc$f.pdf" "$work/files/new/doc$f.pdf" 10 3 --photo 600 > /dev/null
done

seconds() { local start=$(date +%s.%N); "$@" > /dev/null 2>&1; echo "$(date +%s.%N) - $start" | bc; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { sort -g | awk 'NR == 1 { low = $1 } { high = $1 } END { print "[" low " – " high "]" }'; }
ratio() { echo "scale=3; $1 / $2" | bc; }

# mutool_options COLOURS: the options of `mutool draw` for RGB or for CMYK with overprint.
mutool_options() { [ "$1" = cmyk ] && echo "-c cmyk -O 1 -F pam" || echo "-c rgb -F pnm"; }

# mutool_one COLOURS DPI FOLDER: every document of the case, one after the other, one thread.
mutool_one() {
  local options=$(mutool_options "$1")
  seconds sh -c "for f in '$3'/old/*.pdf '$3'/new/*.pdf; do mutool draw -q -r $2 $options -o /dev/null \"\$f\"; done"
}

# mutool_all COLOURS DPI FOLDER: the same, every document's pages split into $cores ranges, all
# ranges of all documents in $cores processes at a time.
mutool_all() {
  local options=$(mutool_options "$1") jobs="$work/ranges"
  : > "$jobs"
  for f in "$3"/old/*.pdf "$3"/new/*.pdf; do
    local pages=$(mutool info "$f" 2>/dev/null | awk '/^Pages:/ { print $2 }')
    local step=$(( (pages + cores - 1) / cores ))
    for ((first = 1; first <= pages; first += step)); do
      local last=$(( first + step - 1 < pages ? first + step - 1 : pages ))
      echo "mutool draw -q -r $2 $options -o /dev/null '$f' $first-$last" >> "$jobs"
    done
  done
  seconds sh -c "xargs -P $cores -I{} sh -c '{}' < '$jobs'"
}

# worker BUILD DPI FOLDER [ENV... [COMMAND...]]: one run into a fresh output root, through `env`
# with what follows; prints "seconds peak_kb cpu_seconds".
worker() {
  local program=$1 dpi=$2 folder=$3
  shift 3
  rm -rf "$work/out" && mkdir "$work/out"
  env "$@" /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$(worker_of "$program")" \
    --before "$folder"/old/*.pdf --after "$folder"/new/*.pdf --output-root "$work/out" \
    --settings-json "{\"dpi\": $dpi}" > "$work/events"
  tail -n 1 "$work/events" | grep -q '"event": "complete"' || { echo "the worker did not complete" >&2; cat "$work/events" >&2; exit 1; }
  awk '{ print $1, $2, $3 + $4 }' "$work/time"
}

figure() { echo "  $1: $(median < "$work/figures/$2") $(spread < "$work/figures/$2")"; }

# case NAME FOLDER DPI COLOURS
case_() {
  local name=$1 folder=$2 dpi=$3 colours=$4
  mkdir -p "$work/figures" && rm -f "$work/figures"/*
  for round in $(seq "$runs"); do
    local one all time peak cpu base base_peak base_cpu
    one=$(mutool_one "$colours" "$dpi" "$folder")
    all=$(mutool_all "$colours" "$dpi" "$folder")
    # With a baseline, every other round runs it first, so that neither gains from going second.
    if [ -n "$baseline" ] && ((round % 2 == 0)); then
      read -r base base_peak base_cpu < <(worker "$baseline" "$dpi" "$folder")
    fi
    read -r time peak cpu < <(worker "$build" "$dpi" "$folder")
    if [ -n "$baseline" ] && ((round % 2 == 1)); then
      read -r base base_peak base_cpu < <(worker "$baseline" "$dpi" "$folder")
    fi
    echo "$one" >> "$work/figures/one" && echo "$all" >> "$work/figures/all"
    echo "$time" >> "$work/figures/worker" && echo "$peak" >> "$work/figures/peak"
    echo "$cpu" >> "$work/figures/cpu"
    ratio "$time" "$one" >> "$work/figures/to_one" && ratio "$time" "$all" >> "$work/figures/to_all"
    if [ -n "$baseline" ]; then
      echo "$base" >> "$work/figures/base" && echo "$base_peak" >> "$work/figures/base_peak"
      echo "$base_cpu" >> "$work/figures/base_cpu"
      ratio "$base" "$time" >> "$work/figures/speedup" && ratio "$base" "$all" >> "$work/figures/base_to_all"
      ratio "$base_cpu" "$cpu" >> "$work/figures/cpu_speedup"
    fi
  done
  echo "$name, median of $runs rounds:"
  figure "mutool draw, both documents, one thread (s)" one
  figure "mutool draw, both documents, $cores processes (s)" all
  figure "worker (s)" worker
  figure "worker, processor time (s)" cpu
  figure "worker / mutool one thread" to_one
  figure "worker / mutool on every processor" to_all
  echo "  worker peak memory: $(( $(median < "$work/figures/peak") / 1024 )) MB (highest $(( $(sort -g "$work/figures/peak" | tail -n 1) / 1024 )) MB)"
  if [ -n "$baseline" ]; then
    figure "baseline worker (s)" base
    figure "baseline / mutool on every processor" base_to_all
    figure "baseline / worker (speed-up)" speedup
    figure "baseline worker, processor time (s)" base_cpu
    figure "baseline / worker in processor time" cpu_speedup
    echo "  baseline peak memory: $(( $(median < "$work/figures/base_peak") / 1024 )) MB"
  fi
}

if wanted a4-300; then case_ "20-page A4 pair, 300 dpi" "$work/a4" 300 rgb; fi
if wanted edited; then case_ "20-page A4 pair, every page changed, 300 dpi" "$work/edited" 300 rgb; fi
if wanted a4-144; then case_ "20-page A4 pair, 144 dpi" "$work/a4" 144 rgb; fi
if wanted long; then case_ "50-page A4 pair, 300 dpi" "$work/long" 300 rgb; fi
if wanted files; then case_ "20 files of 10 pages, 144 dpi" "$work/files" 144 rgb; fi
if wanted press; then case_ "20-page press pair, 300 dpi" "$work/press" 300 cmyk; fi
if wanted cmyk; then case_ "20-page CMYK pair with JPEG photos and two spot inks, 300 dpi" "$work/cmyk" 300 cmyk; fi

# first_progress BUILD FOLDER: seconds from the start to the first "progress" event.
first_progress() {
  rm -rf "$work/out" && mkdir "$work/out"
  local start=$(date +%s.%N) seen=
  "$(worker_of "$1")" --before "$2"/old/*.pdf --after "$2"/new/*.pdf --output-root "$work/out" |
    while IFS= read -r line; do
      if [ -z "$seen" ] && [[ $line == *'"progress"'* ]]; then echo "$(date +%s.%N) - $start" | bc; seen=1; fi
    done
}
if wanted start; then
mkdir -p "$work/figures" && rm -f "$work/figures"/*
for _ in $(seq "$runs"); do
  first_progress "$build" "$work/a4" >> "$work/figures/first"
  if [ -n "$baseline" ]; then first_progress "$baseline" "$work/a4" >> "$work/figures/base_first"; fi
done
echo "20-page A4 pair, 300 dpi, start to the first \"progress\", median of $runs rounds:"
figure "worker (s)" first
if [ -n "$baseline" ]; then figure "baseline worker (s)" base_first; fi
fi

# The same pair on one processor and on eight.
if wanted scaling; then
mkdir -p "$work/figures" && rm -f "$work/figures"/*
for _ in $(seq "$runs"); do
  for program in "$build" ${baseline:+"$baseline"}; do
    name=$([ "$program" = "$build" ] && echo worker || echo base)
    read -r one _ _ < <(worker "$program" 300 "$work/a4" taskset -c 0)
    read -r eight _ _ < <(worker "$program" 300 "$work/a4" taskset -c "0-$((cores - 1))")
    echo "$one" >> "$work/figures/${name}_one" && echo "$eight" >> "$work/figures/${name}_eight"
    ratio "$one" "$eight" >> "$work/figures/${name}_scaling"
  done
done
echo "20-page A4 pair, 300 dpi, on one processor and on $cores (taskset), median of $runs rounds:"
figure "worker on one processor (s)" worker_one
figure "worker on $cores (s)" worker_eight
figure "worker's scaling (one / $cores)" worker_scaling
if [ -n "$baseline" ]; then
  figure "baseline on one processor (s)" base_one
  figure "baseline on $cores (s)" base_eight
  figure "baseline's scaling (one / $cores)" base_scaling
fi
fi
wanted memory || exit 0

available=$(awk '/^MemAvailable:/ { print int($2 / 1024) }' /proc/meminfo)
budget=$(( available / 2 < 1024 ? available / 2 : 1024 ))
echo "memory budget the worker chooses here: $budget MiB (at most 1 GiB, half of $available MiB available)"
read -r _ peak _ < <(worker "$build" 300 "$work/long" TESMIRA_MEMORY_BUDGET_MIB=512)
echo "50-page pair, 300 dpi, budget of 512 MiB: peak memory $((peak / 1024)) MB"
read -r _ peak _ < <(worker "$build" 300 "$work/press" TESMIRA_MEMORY_BUDGET_MIB=512)
echo "press pair, 300 dpi, budget of 512 MiB: peak memory $((peak / 1024)) MB"
if [ -n "$baseline" ]; then
  : > "$work/two" && : > "$work/two_base"
  for _ in $(seq "$runs"); do
    # `env` runs what follows the settings: here taskset, which runs the rest on two processors.
    read -r time _ _ < <(worker "$build" 300 "$work/a4" taskset -c 0,1) && echo "$time" >> "$work/two"
    read -r time _ _ < <(worker "$baseline" 300 "$work/a4" taskset -c 0,1) && echo "$time" >> "$work/two_base"
  done
  echo "20-page A4 pair, 300 dpi, on processors 0 and 1: worker $(median < "$work/two") s, baseline $(median < "$work/two_base") s"
fi
