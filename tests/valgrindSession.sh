#!/usr/bin/env bash
# Runs one whole session of the program under valgrind's memcheck, in a
# scratch directory with a small city file: two builds, searches, wrong
# choices and the close. Fails on any memory error or leak.
# Usage: tests/valgrindSession.sh PATH_TO_FARWANDER
set -euo pipefail

program=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
printf '1\tBerlin\tx\n2\tBern\tx\n3\tNew York\r\n\n4\tAAAA\n5\t\t\n' > cities15000.txt
printf '2\nberlin\n1\n2 x\nBerlin\n4\nabc\n1\n2\nnew york\n2\naaaa\n99999999999\n3\n' |
  valgrind --quiet --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all "$program" > /dev/null
echo "valgrind: no error, no leak"
