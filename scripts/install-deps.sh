#!/usr/bin/env bash
# Installs the Debian packages a task needs, when any is missing.
#   run   compiler, CMake and npm (to fetch the city data)
#   test  compiler, CMake, GoogleTest, clang with its sanitizer and fuzzer
#         runtime, valgrind
#   bench Google Benchmark, PostgreSQL with pg_trgm, GNU time, npm
# Usage: scripts/install-deps.sh run|test|bench
set -euo pipefail

case "${1:-}" in
  run) packages=(g++ cmake make npm) ;;
  test) packages=(g++ cmake make libgtest-dev clang libclang-rt-14-dev valgrind man-db) ;;
  bench) packages=(g++ cmake make libbenchmark-dev postgresql postgresql-contrib time npm) ;;
  *) echo "usage: $0 run|test|bench" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  # npm may come from elsewhere than Debian (with its own Node.js); a working
  # npm command is enough.
  [ "$package" = npm ] && command -v npm > /dev/null && continue
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
