#!/usr/bin/env bash
# Runs the load/save/reload fuzzer for a bounded time: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }\n' > "$probe/p.cpp"
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  echo "clang++ with libFuzzer not available: fuzzing skipped"
  exit 0
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target pellmar_fuzz_load make_samples -j"$(nproc)" >/dev/null
seeds=build/fuzz/seeds
rm -rf "$seeds" && mkdir -p "$seeds"
build/fuzz/samples/make_samples "$seeds" >/dev/null
cp ../shared/corpus/*.nif "$seeds"/ 2>/dev/null || true
build/fuzz/fuzz/pellmar_fuzz_load -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
  -print_final_stats=1 "$seeds" 2>&1 | tail -n 12
