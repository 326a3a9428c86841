#!/usr/bin/env bash
# Runs the two fuzzers at once for a bounded time, split between them:
#   scripts/fuzz.sh [SECONDS] [PRESET]
# The NIF fuzzer loads, saves and reloads; the archive fuzzer opens archives and reads every
# entry. PRESET is a clang preset that builds them: `fuzz` (the default) builds only what they
# need; `sanitize-fuzz` is the sanitizer build of the whole suite, which builds them too.
set -euo pipefail
cd "$(dirname "$0")/.."
# `scripts/fuzz.sh --can-build` only tells, by its exit status, whether clang++ and libFuzzer
# are there.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }\n' > "$probe/p.cpp"
canBuild=yes
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  canBuild=no
fi
if [ "${1:-}" = --can-build ]; then
  [ "$canBuild" = yes ]
  exit
fi
if [ "$canBuild" = no ]; then
  echo "clang++ with libFuzzer not available: fuzzing skipped"
  exit 0
fi
seconds=${1:-30}
preset=${2:-fuzz}
build=build/$preset
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target pellmar_fuzz_load pellmar_fuzz_archive make_samples \
  make_archive_seeds -j"$(nproc)" >/dev/null
seeds=$build/seeds
archiveSeeds=$build/archive-seeds
rm -rf "$seeds" "$archiveSeeds" && mkdir -p "$seeds" "$archiveSeeds"
"$build"/samples/make_samples "$seeds" >/dev/null
cp ../shared/corpus/*.nif "$seeds"/ 2>/dev/null || true
"$build"/fuzz/make_archive_seeds "$archiveSeeds"
cp ../shared/corpus/bsa/*.bsa "$archiveSeeds"/ 2>/dev/null || true
half=$(( (seconds + 1) / 2 ))
rest=$(( seconds - half > 0 ? seconds - half : 1 ))
# Both at once, each on a core of its own; each one's report follows when both have ended.
"$build"/fuzz/pellmar_fuzz_load -max_total_time="$half" -max_len=65536 -rss_limit_mb=2048 \
  -print_final_stats=1 "$seeds" >"$probe/nif.log" 2>&1 &
nif=$!
"$build"/fuzz/pellmar_fuzz_archive -max_total_time="$rest" -max_len=65536 -rss_limit_mb=2048 \
  -print_final_stats=1 "$archiveSeeds" >"$probe/archive.log" 2>&1 &
archive=$!
failed=0
wait "$nif" || failed=1
wait "$archive" || failed=$(( failed + 2 ))
echo "== NIF load/save fuzzer, ${half} s"
tail -n 12 "$probe/nif.log"
echo "== archive fuzzer, ${rest} s"
tail -n 12 "$probe/archive.log"
case $failed in
  0) ;;
  1) echo "the NIF fuzzer failed"; exit 1 ;;
  2) echo "the archive fuzzer failed"; exit 1 ;;
  *) echo "both fuzzers failed"; exit 1 ;;
esac
