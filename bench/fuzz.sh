#!/usr/bin/env bash
# Runs the libFuzzer harnesses of the fuzz build for a given time each and prints, per
# harness, the executions, the coverage and the crashes found.
#
#   bench/fuzz.sh SECONDS [HARNESS...]     (default: every harness)
#
# Build first:  cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang \
#                   -DCMAKE_CXX_COMPILER=clang++ -DTESMIRA_FUZZ=ON && cmake --build build-fuzz
# FUZZ_BUILD names another build folder; FUZZ_JOBS harnesses run at a time (default 3), each
# on one core at the lowest priority. New inputs, crash files and logs go to
# FUZZ_BUILD/fuzz-runs/HARNESS/; the committed corpus in fuzz/corpus is only read.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ ]]; then
  sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
seconds=$1
shift
build=${FUZZ_BUILD:-build-fuzz}
jobs=${FUZZ_JOBS:-3}
all=(fuzz_pair_checks fuzz_render fuzz_page_objects fuzz_page_text fuzz_png_stream fuzz_settings fuzz_command_line
     fuzz_archive_project fuzz_worker_output)
harnesses=("$@")
[[ ${#harnesses[@]} -gt 0 ]] || harnesses=("${all[@]}")

# The seed folders and the dictionary of each harness.
seeds_of() {
  local folders=()
  [[ -d fuzz/corpus/$1 ]] && folders+=("fuzz/corpus/$1")
  case $1 in fuzz_pair_checks | fuzz_render | fuzz_page_objects | fuzz_page_text) folders+=(fuzz/corpus/pdf) ;; esac
  echo "${folders[@]}"
}
# Mutations of PDFs longer than this only slow a harness down; a longer seed is cut to it.
options_of() {
  case $1 in fuzz_pair_checks | fuzz_render | fuzz_page_objects | fuzz_page_text) echo -max_len=16384 ;; esac
}
dictionary_of() {
  case $1 in
    fuzz_pair_checks | fuzz_render | fuzz_page_objects | fuzz_page_text) echo fuzz/pdf.dict ;;
    fuzz_png_stream) echo fuzz/png.dict ;;
    fuzz_command_line) echo fuzz/command_line.dict ;;
    *) echo fuzz/json.dict ;;
  esac
}

run() {
  local name=$1 work=$build/fuzz-runs/$1
  mkdir -p "$work/corpus" "$work/artifacts"
  touch "$work/started"
  # shellcheck disable=SC2046 # the word lists split on purpose
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n 19 "$build/fuzz/$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
      -dict="$(dictionary_of "$name")" -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
      $(options_of "$name") "$work/corpus" $(seeds_of "$name") >"$work/log" 2>&1 || true
}

for name in "${harnesses[@]}"; do
  if [[ ! -x $build/fuzz/$name ]]; then
    echo "no harness $build/fuzz/$name: build the fuzz build first (see the top of $0)" >&2
    exit 1
  fi
done

for name in "${harnesses[@]}"; do
  while [[ $(jobs -rp | wc -l) -ge $jobs ]]; do wait -n || true; done
  echo "fuzzing $name for ${seconds}s" >&2
  run "$name" &
done
wait

printf '%-22s %12s %8s %14s %9s %8s %8s\n' harness executions exec/s coverage features corpus crashes
for name in "${harnesses[@]}"; do
  work=$build/fuzz-runs/$name
  # The last status line: "#RUNS ... cov: EDGES ft: FEATURES corp: UNITS/SIZE ... exec/s: N".
  status=$(grep -aE '^#[0-9]+' "$work/log" | tail -n 1)
  runs=$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$status")
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$status")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$status")
  corp=$(sed -nE 's/.* corp: ([0-9]+).*/\1/p' <<<"$status")
  rate=$(sed -nE 's/.* exec\/s: ([0-9]+).*/\1/p' <<<"$status")
  edges=$(sed -nE 's/.*\(([0-9]+) inline 8-bit counters\).*/\1/p' "$work/log" | head -n 1)
  crashes=$(find "$work/artifacts" -type f -newer "$work/started" | wc -l)
  printf '%-22s %12s %8s %14s %9s %8s %8s\n' "$name" "${runs:-?}" "${rate:-?}" "${cov:-?}/${edges:-?}" \
    "${ft:-?}" "${corp:-?}" "$crashes"
done
for name in "${harnesses[@]}"; do
  work=$build/fuzz-runs/$name
  find "$work/artifacts" -type f -newer "$work/started" -exec echo "  rerun: $build/fuzz/$name {}" \;
done
