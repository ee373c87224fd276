#!/usr/bin/env bash
# Installs the build into a scratch prefix, as a build of the program alone
# leaves it, and checks what lands there: a farwander that runs a session to
# its farewell, and a man page that man renders.
# Usage: tests/installCheck.sh BUILD_DIR
set -euo pipefail

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
# As after the run command, which builds the program alone. The make of a
# package build that runs this test hands down no job server to it.
rm -f "$1/farwander.1.gz"
env -u MAKEFLAGS -u MFLAGS cmake --build "$1" --target farwander > /dev/null
cmake --install "$1" --prefix "$prefix" > /dev/null
output=$(cd "$prefix" && printf '3\n' | "$prefix/bin/farwander")
[ "${output##*$'\n'}" = "Cya Nerds!" ] || { echo "installed farwander: $output"; exit 1; }
page="$prefix/share/man/man1/farwander.1.gz"
rendered=$(MANWIDTH=80 man -l "$page" 2>&1)
grep -q 'EXIT STATUS' <<< "$rendered" || { echo "man page: $rendered"; exit 1; }
echo "installed: bin/farwander runs, share/man/man1/farwander.1.gz renders"
