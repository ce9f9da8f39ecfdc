#!/usr/bin/env bash
# Compares the bundled sample PDFs on a fresh Debian 12 machine: installs what is missing,
# builds the worker, runs it on samples/old vs samples/new and prints its events and the
# result folder.   Usage: ./run-sample.sh [OUTPUT_FOLDER]   (default: build/sample-output)
set -euo pipefail
cd "$(dirname "$0")"

tools/install-packages.sh .ci/packages-build.txt

# Without the tests, which need packages of their own (.ci/packages-test.txt).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF > /dev/null
cmake --build build --target TesmiraWorker

output=${1:-build/sample-output}
mkdir -p "$output"
events=$(mktemp)
trap 'rm -f "$events"' EXIT
build/libexec/tesmira/TesmiraWorker --before samples/old/catalogue.pdf --after samples/new/catalogue.pdf \
  --output-root "$output" --settings-json '{"tiny_markers": true}' | tee "$events"
folder=$(tail -n 1 "$events" | sed -n 's/.*"output": "\([^"]*\)".*/\1/p')
echo
echo "Result folder: $folder"
ls -l "$folder"
