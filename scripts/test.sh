#!/usr/bin/env bash
# Builds Pellmar and runs every test: the release build, the ASan+UBSan build, a bounded fuzzing
# run, the Windows build with its tests under Wine, and a short benchmark smoke run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

for preset in release asan; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset tests"
  ctest --preset "$preset" -j"$jobs"
done

echo "== fuzzing for at most ${PELLMAR_FUZZ_SECONDS:-30} seconds"
scripts/fuzz.sh "${PELLMAR_FUZZ_SECONDS:-30}"

scripts/windows.sh

echo "== benchmark smoke run"
build/release/bench/pellmar_bench --benchmark_min_time=0.01 --benchmark_filter='large_mesh' >/dev/null
echo "all tests passed"
