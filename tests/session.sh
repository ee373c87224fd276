#!/bin/sh
# Runs one whole session of farwander, the built or the installed program,
# in a scratch folder with a small city file, and checks it byte for byte:
# a build and its log, a ranked search, a wrong choice, the farewell and the
# exit status. Only the number of the timing report is masked.
# Usage: tests/session.sh PATH_TO_FARWANDER
set -eu

case $1 in
  /*) program=$1 ;;
  *) program=$PWD/$1 ;;
esac
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
printf '1\tBerlin\tx\n2\tBern\tx\n3\tNew York\tx\n4\tAAAA\n' > cities15000.txt

menu='\nMenu\n1 - initiate (may take about half a minute)\n2 - search town\n3 - close\nyour choice: '
printf '%b' '--- Welcome to farwander search! ---\n' "$menu" \
  '\ntime to read cities: T seconds\n' "$menu" \
  '\nPlease enter the town you are searching for: ' \
  '\nI found these cities:\n100% berlin\n25% bern\n' "$menu" \
  '\nFalsche Eingabe du N00b! Versuche es erneut!\n' "$menu" \
  '\nCya Nerds!\n' > expected-output.txt
printf '%b' 'logging is active' \
  '\nnew town: berlin index: 0\nnew town: bern index: 1' \
  '\nnew town: new_york index: 2\nnew town: aaaa index: 3' \
  '\nmyTris was empty. ber with index 0 was inserted' \
  "\\nerl wasn't in the list. it has been added with index 0" \
  "\\nrli wasn't in the list. it has been added with index 0" \
  "\\nlin wasn't in the list. it has been added with index 0" \
  '\nber was already in the list. index 1 has been added' \
  "\\nern wasn't in the list. it has been added with index 1" \
  "\\nnew wasn't in the list. it has been added with index 2" \
  "\\new_ wasn't in the list. it has been added with index 2" \
  "\\nw_y wasn't in the list. it has been added with index 2" \
  "\\n_yo wasn't in the list. it has been added with index 2" \
  "\\nyor wasn't in the list. it has been added with index 2" \
  "\\nork wasn't in the list. it has been added with index 2" \
  "\\naaa wasn't in the list. it has been added with index 3" \
  '\naaa was already in the list. index 3 has been added' > expected-log.txt

status=0
printf '1\n2\nBerlin\n7\n3\n' | "$program" > output.txt 2> error.txt || status=$?
sed 's/time to read cities: [0-9.e+-]* seconds/time to read cities: T seconds/' \
  output.txt > masked.txt
failed=0
[ "$status" -eq 0 ] || { echo "exit status $status, not 0"; failed=1; }
[ ! -s error.txt ] || { echo "standard error:"; cat error.txt; failed=1; }
cmp -s expected-output.txt masked.txt ||
  { echo "output differs:"; diff expected-output.txt masked.txt || true; failed=1; }
cmp -s expected-log.txt createlog.tri ||
  { echo "createlog.tri differs:"; diff expected-log.txt createlog.tri || true; failed=1; }
[ "$failed" -eq 0 ] || exit 1
echo "session of $program: output, log and exit status as expected"
