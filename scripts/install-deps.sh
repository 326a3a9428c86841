#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages Pellmar builds and tests with, when any is missing.
set -euo pipefail

required=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
          libtinyxml-dev zlib1g-dev liblz4-dev python3)
optional=(clang libclang-rt-dev)  # the fuzzer; skipped where they cannot be installed

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
need=($(missing "${required[@]}"))
want=($(missing "${optional[@]}"))
[ ${#need[@]} -eq 0 ] && [ ${#want[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
if [ ${#want[@]} -gt 0 ]; then
  echo "Installing: ${want[*]}"
  $sudo apt-get install -y -qq --no-install-recommends "${want[@]}" ||
    echo "install-deps: ${want[*]} not available; fuzzing will be skipped"
fi
