#!/usr/bin/env bash
# Installs the Debian packages of the given lists that are missing (as root, or through sudo).
#   tools/install-packages.sh LIST...   e.g. .ci/packages-build.txt
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for package in $(cat "$@"); do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
