#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed application there.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
bash "$(dirname "$0")/installed_checks.sh" "$prefix" "$source"
