#!/usr/bin/env bash
# Derives a synthetic city file of 1,000,000 towns, cities1m.txt, from
# cities500.txt in the data folder, for scaling benchmarks. Each real line
# appears in five or six copies: the first as it is, the others with a new
# id and one letter (a, b, ... by copy) put into the name at a position that
# depends on the copy and the line (never inside a UTF-8 character), so the
# windows stay like real names.
# Usage: scripts/make-million.sh [DATA_DIR]   (default: data beside scripts/)
set -euo pipefail

# Like the fetch, it never replaces a file already there.
data=${1:-"$(cd "$(dirname "$0")/.." && pwd)/data"}
"$(dirname "$0")/fetch-data.sh" "$data"
[ -e "$data/cities1m.txt" ] && exit 0
part=$(mktemp "$data/.cities1m.XXXXXX")
trap 'rm -f "$part"' EXIT

LC_ALL=C awk -F'\t' -v OFS='\t' -v want=1000000 '
  { line[NR] = $0 }
  END {
    made = 0
    for (copy = 0; copy < 8 && made < want; ++copy) {
      for (n = 1; n <= NR && made < want; ++n) {
        $0 = line[n]
        if (copy > 0) {
          at = 1 + (copy * 7 + n) % (length($2) + 1)
          # never inside a UTF-8 character: step past continuation bytes
          while (at <= length($2) && substr($2, at, 1) >= "\200" &&
                 substr($2, at, 1) <= "\277") ++at
          $2 = substr($2, 1, at - 1) sprintf("%c", 96 + copy) substr($2, at)
          $1 = $1 "0" copy
        }
        print
        ++made
      }
    }
  }' "$data/cities500.txt" > "$part"
chmod 644 "$part"
ln "$part" "$data/cities1m.txt"
echo "made $(wc -l < "$data/cities1m.txt") towns in $data/cities1m.txt"
