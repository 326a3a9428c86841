#!/usr/bin/env bash
# Builds Pellmar and runs every test: the release build, the ASan+UBSan build, a bounded fuzzing
# run of the fuzzers the sanitizer build built, the Windows build with its tests under Wine, and
# a short benchmark smoke run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# The sanitizer build is clang's where clang and libFuzzer are there: it also builds the
# fuzzers, so they need no build of their own, and clang compiles it in about half GCC's time.
# Elsewhere it is GCC's, and fuzzing is skipped.
if scripts/fuzz.sh --can-build; then sanitize=sanitize-fuzz; else sanitize=asan; fi

for preset in release "$sanitize"; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset tests"
  ctest --preset "$preset" -j"$jobs"
done

echo "== fuzzing for at most ${PELLMAR_FUZZ_SECONDS:-30} seconds"
scripts/fuzz.sh "${PELLMAR_FUZZ_SECONDS:-30}" "$sanitize"

scripts/windows.sh

echo "== benchmark smoke run"
build/release/bench/pellmar_bench --benchmark_min_time=0.01 --benchmark_filter='large_mesh' >/dev/null
echo "all tests passed"
