#!/usr/bin/env bash
# Measures farwander on the three data sets and pg_trgm beside it, and prints
# a Markdown table of the figures:
#   - build of the whole index with its log, processor time, median of the
#     benchmark's repetitions (Google Benchmark, bench/indexBench.cpp);
#   - peak memory (maximum resident set) of a whole program run that builds
#     the index once and closes, from GNU time;
#   - query time, processor time: median and worst over the query set, each
#     query's figure being the median of its repetitions;
#   - pg_trgm on the same normalised names (bench/compare-pg-trgm.sh);
#   - peak memory and processor time of a whole run that builds from
#     cities15000.txt and answers one 100 MiB query.
# Usage: bench/run.sh [REPETITIONS]   (default 5). Needs the network once, to
# fetch the city data; the million-town file is derived from it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
reps=${1:-5}
build="$root/build-bench"
"$root/scripts/install-deps.sh" bench
"$root/scripts/make-million.sh" "$root/data"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFARWANDER_TESTS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" > /dev/null

FARWANDER_DATA="$root/data" "$build/farwander_bench" \
  --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$build/bench.json" > /dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
peak() {  # peak resident set in MiB of one run that builds from $1
  ln -sf "$1" "$work/cities15000.txt"
  (cd "$work" && printf '1\n3\n' | /usr/bin/time -f '%M' "$build/farwander" \
    2>&1 > /dev/null | tail -n 1) | awk '{ printf "%.0f", $1 / 1024 }'
}

summary() {  # label: build ms, query median and worst in us, from bench.json
  python3 - "$build/bench.json" "$1" <<'PY'
import json, statistics, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
label = sys.argv[2]
def median(name):
    for r in runs:
        if r["run_name"] == name and r.get("aggregate_name") == "median":
            scale = {"ms": 1e3, "us": 1.0}[r["time_unit"]]
            return r["cpu_time"] * scale  # microseconds
queries = sorted({r["run_name"] for r in runs
                  if r["run_name"].startswith("query/" + label + "/")})
times = [median(q) for q in queries]
print("%.1f %.0f %.0f" % (median("build/" + label + "/process_time") / 1e3,
                          statistics.median(times), max(times)))
PY
}

pg() {  # file: pg build ms, query median ms, worst ms
  "$root/bench/compare-pg-trgm.sh" "$1" "$reps" |
    awk '/^pg build_ms/ { b = $3 } /^pg query_median_ms/ { m = $3 }
         /^pg query_worst_ms/ { w = $3 } END { print b, m, w }'
}

echo "| data set | towns | build (ms) | peak memory (MiB) | query median (µs) | query worst (µs) | pg_trgm GIN build (ms) | pg_trgm query median (µs) | pg_trgm query worst (µs) |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for set in "15k cities15000.txt" "138k cities1000.txt" "1m cities1m.txt"; do
  read -r label file <<< "$set"
  read -r b qm qw <<< "$(summary "$label")"
  read -r pb pm pw <<< "$(pg "$root/data/$file")"
  towns=$(wc -l < "$root/data/$file")
  printf '| %s | %d | %s | %s | %s | %s | %.0f | %.0f | %.0f |\n' "$file" "$towns" \
    "$b" "$(peak "$root/data/$file")" "$qm" "$qw" "$pb" \
    "$(awk -v x="$pm" 'BEGIN { print x * 1000 }')" \
    "$(awk -v x="$pw" 'BEGIN { print x * 1000 }')"
done
long_query() {  # peak MiB and processor seconds: build, then 'an' x 50 Mi
  ln -sf "$root/data/cities15000.txt" "$work/cities15000.txt"
  { printf '1\n2\n'; head -c $((100 << 20)) < <(yes an | tr -d '\n')
    printf '\n3\n'; } > "$work/query.txt"
  (cd "$work" && /usr/bin/time -f '%M %U %S' "$build/farwander" < query.txt \
    2>&1 > /dev/null | tail -n 1) |
    awk '{ printf "%.0f MiB peak, %.1f s processor time", $1 / 1024, $2 + $3 }'
  rm -f "$work/query.txt"
}

echo
echo "A 100 MiB query (an repeated) on cities15000.txt, in a whole run with the build: $(long_query)."
echo "Machine: $(nproc) cores, $(awk '/model name/ { $1 = $2 = $3 = ""; print; exit }' /proc/cpuinfo | sed 's/^ *//'), $(date -u +%Y-%m-%d)."
