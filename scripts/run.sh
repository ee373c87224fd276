#!/usr/bin/env bash
# Builds farwander (Release), fetches the GeoNames city file into data/ when
# it is missing (about 10 MB, once), and starts the program there: choice 1
# reads data/cities15000.txt and writes data/createlog.tri. With that file
# in place it needs no network. Exits with the program's status, or 1 when
# the build or the fetch failed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run
if [ ! -e "$root/data/cities15000.txt" ]; then
  "$root/scripts/fetch-data.sh" "$root/data" >&2
fi
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release \
  -DFARWANDER_TESTS=OFF -DFARWANDER_BENCH=OFF > /dev/null
cmake --build "$root/build" --target farwander -j "$(nproc)" > /dev/null
cd "$root/data"
exec "$root/build/farwander"
