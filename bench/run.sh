#!/usr/bin/env bash
# Measures farwander on the three data sets and pg_trgm beside it, and prints
# a Markdown table of the figures:
#   - build of the whole index with its log, processor time, median of the
#     benchmark's repetitions (Google Benchmark, bench/indexBench.cpp);
#   - peak memory (maximum resident set) of a whole program run that builds
#     the index once and closes, from GNU time;
#   - query time, processor time: median, mean and worst over the query set,
#     each query's figure being the median of its repetitions; the same for
#     a compact reference of the same metric (bench/compactIndex.cpp), the
#     ratio of the two, and the time per postings entry walked;
#   - pg_trgm on the same normalised names (bench/compare-pg-trgm.sh), and
#     its mean query time over the program's;
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

summary() {  # label: build ms; query median, mean, worst in us; compact
             # mean; time ratio to compact over all queries and at the worst
             # query; ns per postings entry walked, program and compact
  python3 - "$build/bench.json" "$1" <<'PY'
import json, statistics, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
label = sys.argv[2]
def median(name):
    for r in runs:
        if r["run_name"] == name and r.get("aggregate_name") == "median":
            scale = {"ms": 1e3, "us": 1.0}[r["time_unit"]]
            return r["cpu_time"] * scale, r.get("entries", 0)
def figures(kind):
    names = sorted({r["run_name"] for r in runs
                    if r["run_name"].startswith(kind + "/" + label + "/")})
    return {n.split("/", 2)[2]: median(n) for n in names}
program, compact = figures("query"), figures("compact")
times = [t for t, _ in program.values()]
ctimes = [t for t, _ in compact.values()]
entries = sum(e for _, e in program.values())
worst = max(program[q][0] / compact[q][0] for q in program)
print("%.1f %.1f %.1f %.1f %.1f %.2f %.2f %.2f %.2f" % (
    median("build/" + label + "/process_time")[0] / 1e3,
    statistics.median(times), statistics.mean(times), max(times),
    statistics.mean(ctimes), sum(times) / sum(ctimes), worst,
    sum(times) * 1e3 / entries, sum(ctimes) * 1e3 / entries))
PY
}

pg() {  # file: pg build ms, query median, mean and worst ms
  "$root/bench/compare-pg-trgm.sh" "$1" "$reps" |
    awk '/^pg build_ms/ { b = $3 } /^pg query_median_ms/ { m = $3 }
         /^pg query_mean_ms/ { a = $3 } /^pg query_worst_ms/ { w = $3 }
         END { print b, m, a, w }'
}

us() { awk -v x="$1" 'BEGIN { printf "%.0f", x * 1000 }'; }

echo "| data set | towns | build (ms) | peak memory (MiB) | query median (µs) | query mean (µs) | query worst (µs) | compact mean (µs) | time / compact: all, worst query | ns per entry: program, compact | pg_trgm GIN build (ms) | pg_trgm query median (µs) | pg_trgm query mean (µs) | pg_trgm query worst (µs) | pg_trgm mean / query mean |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for set in "15k cities15000.txt" "200k cities500.txt" "1m cities1m.txt"; do
  read -r label file <<< "$set"
  read -r b qm qa qw ca ratio worst ns cns <<< "$(summary "$label")"
  read -r pb pm pa pw <<< "$(pg "$root/data/$file")"
  towns=$(wc -l < "$root/data/$file")
  printf '| %s | %d | %s | %s | %s | %s | %s | %s | %s, %s | %s, %s | %.0f | %s | %s | %s | %s |\n' \
    "$file" "$towns" "$b" "$(peak "$root/data/$file")" "$qm" "$qa" "$qw" "$ca" \
    "$ratio" "$worst" "$ns" "$cns" "$pb" "$(us "$pm")" "$(us "$pa")" "$(us "$pw")" \
    "$(awk -v p="$pa" -v q="$qa" 'BEGIN { printf "%.0f", p * 1000 / q }')"
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
