#!/usr/bin/env bash
# Measures which lines and branches of src/ the plain test suite runs: builds
# the suite with gcc's coverage instrumentation (no optimisation, so that
# every line stands as written) into build-coverage/, runs it through CTest
# as the test command's plain build does, and prints, for each file of src/,
# the lines and branches run of those there are. Branches that only an
# exception takes are left out (the throws, and the type tests of catch
# clauses): every call that may throw has them. The real-data test runs when
# data/ holds the real data (cities500.txt).
# Usage: scripts/coverage.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-coverage"
"$root/scripts/install-deps.sh" coverage
# A program that ends through _Exit, as one short of memory does, skips the
# exit handlers that write the counts. Linked in, this writes them first in
# the test program, whose death test ends so; the program itself ends so
# when memory is too short to write them.
mkdir -p "$build"
cat > "$build/exitDump.c" << 'END'
#define _GNU_SOURCE
#include <errno.h>
#include <string.h>
void __gcov_dump(void);
void __real__Exit(int);
void __wrap__Exit(int status) {
  if (strcmp(program_invocation_short_name, "farwander_tests") == 0) {
    __gcov_dump();
  }
  __real__Exit(status);
}
END
gcc -c "$build/exitDump.c" -o "$build/exitDump.o"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DFARWANDER_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -O0" \
  -DCMAKE_EXE_LINKER_FLAGS="--coverage -Wl,--wrap=_Exit $build/exitDump.o" \
  > /dev/null
# Linked anew, in case the object above changed.
rm -f "$build/farwander" "$build/farwander_tests"
cmake --build "$build" -j "$(nproc)" > /dev/null
find "$build" -name '*.gcda' -delete
# A program under an address-space limit may have no room to write its
# counts; what libgcov would say of that must not mix with its answer.
GCOV_ERROR_FILE=/dev/null ctest --test-dir "$build" -j "$(nproc)" \
  --output-on-failure | tail -n 3
for metric in lines branches; do
  echo "== $metric of src/"
  gcovr --root "$root" --filter "$root/src/" --exclude-throw-branches \
    --exclude-branches-by-pattern '.*\} catch \(.*' \
    --exclude-unreachable-branches --object-directory "$build" \
    $([ "$metric" = branches ] && echo --branches) "$build" 2> /dev/null |
    sed -n '/^File/,$p'
done
