#!/usr/bin/env bash
# Builds and runs every test:
#   1. the GoogleTest suite and a valgrind session, on a plain Release build;
#   2. the same suite built with AddressSanitizer, UndefinedBehaviorSanitizer
#      and LeakSanitizer (clang), failing on any report;
#   3. a short run of each fuzz target on that sanitised build.
# FUZZ_SECONDS sets the length of each fuzz run (default 30).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
"$root/scripts/install-deps.sh" test

echo "== plain build"
cmake -S "$root" -B "$root/build-test" -DCMAKE_BUILD_TYPE=Release \
  -DFARWANDER_BENCH=OFF > /dev/null
cmake --build "$root/build-test" -j "$jobs"
ctest --test-dir "$root/build-test" --output-on-failure -j "$jobs"

echo "== sanitised build"
CXX=clang++ cmake -S "$root" -B "$root/build-sanitize" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFARWANDER_SANITIZE=ON \
  -DFARWANDER_FUZZ=ON -DFARWANDER_BENCH=OFF > /dev/null
cmake --build "$root/build-sanitize" -j "$jobs"
ctest --test-dir "$root/build-sanitize" --output-on-failure -j "$jobs"

echo "== fuzz runs, ${fuzz_seconds} s each"
for target in build menu; do
  corpus=$(mktemp -d)
  scratch=$(mktemp -d)
  cp "$root/fuzz/seeds/$target"/* "$corpus"/
  fuzzer="$root/build-sanitize/fuzz${target^}"
  if ! TMPDIR="$scratch" "$fuzzer" -max_total_time="$fuzz_seconds" \
      -max_len=4096 -artifact_prefix="$root/build-sanitize/" "$corpus" \
      > "$corpus.log" 2>&1; then
    cat "$corpus.log"
    echo "fuzz${target^} failed; the input is in $root/build-sanitize/" >&2
    exit 1
  fi
  tail -n 1 "$corpus.log"
  rm -rf "$corpus" "$corpus.log" "$scratch"
done
echo "all tests passed"
