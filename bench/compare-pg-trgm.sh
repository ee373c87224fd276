#!/usr/bin/env bash
# Loads the same normalised town names into a throw-away PostgreSQL server with
# pg_trgm, builds a GIN trigram index and times it and a top-ten similarity
# query for each name of the benchmark's query set. The server listens on a
# Unix socket in a scratch folder only (no network address) and is removed
# at the end. Times are psql's \timing: wall clock, in milliseconds.
# Usage: bench/compare-pg-trgm.sh CITY_FILE [RUNS]   (RUNS per query, default 5)
# Prints lines "pg build_ms N", "pg query_ms QUERY N" (median of the runs),
# then "pg query_median_ms N", "pg query_mean_ms N" and "pg query_worst_ms N".
# The queries are the benchmark's own (bench/indexBench.cpp).
set -euo pipefail

cities=$(realpath "$1")
runs=${2:-5}
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
queries=("Berlin" "berlni" "New York" "San Francisco" "Sao Paulo" "Muenchen"
  "Tokio" "london" "Paris" "Frankfurt am Main" "Springfeld" "Rio de Janeiro"
  "Kyiv" "Mexiko City" "Wroclaw" "Ürümqi" "Alexandria" "ana" "san")

work=$(mktemp -d)
chmod 755 "$work"
as_pg=()
[ "$(id -u)" -eq 0 ] && as_pg=(runuser -u postgres --)
cleanup() {
  "${as_pg[@]}" "$bin/pg_ctl" -D "$work/db" -m immediate stop > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
[ "$(id -u)" -eq 0 ] && chown postgres "$work"

"${as_pg[@]}" "$bin/initdb" -D "$work/db" -A trust -U bench > /dev/null
"${as_pg[@]}" "$bin/pg_ctl" -D "$work/db" -l "$work/server.log" -w \
  -o "-c listen_addresses='' -k $work -c fsync=off" start > /dev/null

# The program's normalisation: ASCII capitals lowered, ' ' to '_'. COPY's
# text format takes a backslash as an escape, so backslashes are doubled.
LC_ALL=C awk -F'\t' 'NF >= 2 {
    name = $2; gsub(/ /, "_", name); gsub(/\\/, "\\\\", name)
    print tolower(name) }' "$cities" > "$work/names.txt"
chmod 644 "$work/names.txt"
normalise() { LC_ALL=C awk '{ gsub(/ /, "_"); print tolower($0) }' <<< "$1"; }

sql() { "${as_pg[@]}" "$bin/psql" -X -q -h "$work" -U bench -d postgres "$@"; }
elapsed() { sed -n 's/^Time: \([0-9.]*\) ms.*/\1/p'; }

sql -c "CREATE EXTENSION pg_trgm" -c "CREATE TABLE towns (name text)" \
  -c "\\copy towns FROM '$work/names.txt'" -c "VACUUM ANALYZE towns"
build=$(sql -c '\timing on' \
  -c "CREATE INDEX towns_trgm ON towns USING gin (name gin_trgm_ops)" | elapsed)
echo "pg build_ms $build"
echo "pg plan $(sql -t -c "EXPLAIN SELECT name FROM towns WHERE name % 'berlin'" |
  grep -o 'Bitmap Index Scan\|Seq Scan' | head -n 1)"

# One session for all queries; each query runs once to warm the caches, then
# RUNS times, and the median of those runs counts.
script="$work/queries.sql"
echo '\timing on' > "$script"
for query in "${queries[@]}"; do
  q=$(normalise "$query" | sed "s/'/''/g")
  for _ in $(seq 0 "$runs"); do
    echo "SELECT name, similarity(name, '$q') AS s FROM towns
      WHERE name % '$q' ORDER BY s DESC LIMIT 10;" >> "$script"
  done
done
mapfile -t times < <(sql -o /dev/null -f "$script" | elapsed)
medians=()
for i in "${!queries[@]}"; do
  first=$(( i * (runs + 1) + 1 ))
  median=$(printf '%s\n' "${times[@]:first:runs}" | sort -g |
    sed -n "$(( (runs + 1) / 2 ))p")
  medians+=("$median")
  echo "pg query_ms ${queries[i]} $median"
done
sorted=$(printf '%s\n' "${medians[@]}" | sort -g)
echo "pg query_median_ms $(sed -n "$(( (${#medians[@]} + 1) / 2 ))p" <<< "$sorted")"
echo "pg query_mean_ms $(awk '{ s += $1 } END { print s / NR }' <<< "$sorted")"
echo "pg query_worst_ms $(tail -n 1 <<< "$sorted")"
