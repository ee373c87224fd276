#!/usr/bin/env bash
# Mutation testing: plants one small fault at a time in src/ (in a copy of
# the tree, never in the tree itself), builds it and runs the test suite,
# then prints the score and every mutant the suite did not catch.
#   scripts/mutation.sh                 100 mutants drawn with seed 1
#   scripts/mutation.sh --sample 150 --seed 7
#   scripts/mutation.sh --all           every mutant (hours)
#   scripts/mutation.sh --json report.json   also a mutation-testing report
#   scripts/mutation.sh --sanitize      judged by the sanitised build and suite
# Needs python3 beside the test set-up. Not part of CI: it takes too long.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" mutation
exec python3 "$root/scripts/mutation.py" "$@"
