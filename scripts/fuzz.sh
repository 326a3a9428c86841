#!/usr/bin/env bash
# Runs the two fuzzers for a bounded time, split between them: scripts/fuzz.sh [SECONDS].
# The NIF fuzzer loads, saves and reloads; the archive fuzzer opens archives and reads every
# entry.
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
cmake --build --preset fuzz --target pellmar_fuzz_load pellmar_fuzz_archive make_samples \
  make_archive_seeds -j"$(nproc)" >/dev/null
seeds=build/fuzz/seeds
archiveSeeds=build/fuzz/archive-seeds
rm -rf "$seeds" "$archiveSeeds" && mkdir -p "$seeds" "$archiveSeeds"
build/fuzz/samples/make_samples "$seeds" >/dev/null
cp ../shared/corpus/*.nif "$seeds"/ 2>/dev/null || true
build/fuzz/fuzz/make_archive_seeds "$archiveSeeds"
cp ../shared/corpus/bsa/*.bsa "$archiveSeeds"/ 2>/dev/null || true
half=$(( (seconds + 1) / 2 ))
echo "== NIF load/save fuzzer, ${half} s"
build/fuzz/fuzz/pellmar_fuzz_load -max_total_time="$half" -max_len=65536 -rss_limit_mb=2048 \
  -print_final_stats=1 "$seeds" 2>&1 | tail -n 12
echo "== archive fuzzer, $(( seconds - half > 0 ? seconds - half : 1 )) s"
build/fuzz/fuzz/pellmar_fuzz_archive -max_total_time="$(( seconds - half > 0 ? seconds - half : 1 ))" \
  -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 "$archiveSeeds" 2>&1 | tail -n 12
