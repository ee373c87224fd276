#!/usr/bin/env bash
# Tries the Debian package and the README's two set-up commands as a new
# user would, on another Debian release: makes a minimal chroot of RELEASE
# with debootstrap, copies clean clones of this repository in and, inside it,
#   0. as root, with only build-essential and the Build-Depends installed
#      (apt-get build-dep): builds the source and binary packages with
#      dpkg-buildpackage, offline and with no home directory, the suite
#      running at build time; then lints the .changes with the release's
#      lintian and runs autopkgtest on the built package;
#   1. as root: installs the test set, then runs the test command as CI
#      does (CI=true bash .ci/run);
#   2. as root, with a one-line data/cities15000.txt of its own and the npm
#      registry unreachable: the run command must start the program at once
#      and find the town;
#   3. as root: cmake --install on the build folder the run command made
#      must install the manual page, and a fetch with an empty HOME must
#      leave it empty;
#   4. as a user without sudo, with cmake removed: both commands must stop
#      with one line naming what to install, and a non-zero status.
# Certificate authorities that the host trusts beyond Debian's own (those of
# /usr/local/share/ca-certificates) are copied in, so that npm reaches the
# registry from the chroot as from the host. Takes about 20 minutes; not
# part of CI. Needs root. Prints one verdict line per check and a count.
# Usage: scripts/check-debian.sh RELEASE   (trixie, sid, bookworm, ...)
#        MIRROR=URL overrides debootstrap's default mirror.
set -euo pipefail

release=${1:?usage: $0 RELEASE}
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "check-debian: needs root" >&2; exit 2; }
command -v debootstrap > /dev/null ||
  { apt-get update -qq && apt-get install -y -qq debootstrap; }

jail="$root/build-chroot-$release"
logs="$jail.logs"
# Unmounts whatever is mounted inside the chroot, deepest first, so that
# nothing of the host is ever removed through a bind mount.
unmount_all() {
  local target
  findmnt -rn -o TARGET | { grep "^$jail/" || true; } | sort -r |
    while read -r target; do umount -l "$target" || true; done
}
trap unmount_all EXIT

unmount_all
rm -rf --one-file-system "$jail" "$logs"
mkdir -p "$logs"
echo "== debootstrap $release into $jail"
debootstrap --variant=minbase "$release" "$jail" ${MIRROR:+"$MIRROR"} \
  > "$logs/debootstrap.log" 2>&1 ||
  { echo "check-debian: debootstrap failed; see $logs/debootstrap.log" >&2; exit 1; }
for fs in proc sys dev dev/pts; do
  mount --bind "/$fs" "$jail/$fs"
done
cp /etc/resolv.conf "$jail/etc/resolv.conf" 2> /dev/null || true
if compgen -G "/usr/local/share/ca-certificates/*" > /dev/null; then
  mkdir -p "$jail/usr/local/share/ca-certificates"
  cp -r /usr/local/share/ca-certificates/. "$jail/usr/local/share/ca-certificates/"
fi

# Runs a command in the chroot as root, or as the user given in $as.
inside() {
  local env=(env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    LANG=C.UTF-8 NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt)
  if [ -n "${as:-}" ]; then
    chroot "$jail" "${env[@]}" su -s /bin/bash "$as" -c "$1"
  else
    chroot "$jail" "${env[@]}" bash -c "$1"
  fi
}

# A mirror that serves a snapshot has release files past their Valid-Until
# date (unstable's last a week); the chroot takes them as they are.
echo 'Acquire::Check-Valid-Until "false";' > "$jail/etc/apt/apt.conf.d/99snapshot"

passed=0
failed=0
verdict() {  # label, status (0 passed)
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
    echo "passed: $1"
  else
    failed=$((failed + 1))
    echo "FAILED: $1 (logs in $logs)"
  fi
}

# First, while the chroot holds nothing but its minimal base.
echo "== as root: the package, with build-essential and the Build-Depends only"
git clone -q --no-local "$root" "$jail/root/package/farwander"
status=0
inside 'apt-get update -qq && cd /root/package/farwander &&
  DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -qq ./ &&
  unshare -n env HOME=/nonexistent dpkg-buildpackage -us -uc' \
  > "$logs/package.log" 2>&1 || status=$?
grep -q '100% tests passed, 0 tests failed' "$logs/package.log" || status=1
verdict "source and binary package built offline, suite passed, on $release" "$status"
status=0
inside 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lintian > /dev/null &&
  lintian --version && cd /root/package &&
  lintian --fail-on error,warning --display-info --pedantic farwander_*.changes' \
  > "$logs/lintian.log" 2>&1 || status=$?
cat "$logs/lintian.log"
verdict "lintian: no error and no warning on $release" "$status"
status=0
inside 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq autopkgtest > /dev/null &&
  cd /root/package && autopkgtest farwander_*.changes -- null' \
  > "$logs/autopkgtest.log" 2>&1 || status=$?
grep -E '^[a-z-]+ +(PASS|FAIL|SKIP)' "$logs/autopkgtest.log" | sort -u
verdict "autopkgtest of the installed package on $release" "$status"

echo "== base packages: git, ca-certificates"
inside 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq git ca-certificates && update-ca-certificates' \
  > "$logs/base.log" 2>&1 ||
  { echo "check-debian: the base packages did not install; see $logs/base.log" >&2; exit 1; }
git clone -q --no-local "$root" "$jail/root/farwander"
git clone -q --no-local "$root" "$jail/root/own-data"

echo "== as root: install-deps test, then CI=true bash .ci/run"
status=0
inside 'cd /root/farwander && bash scripts/install-deps.sh test && CI=true bash .ci/run' \
  > "$logs/test.log" 2>&1 || status=$?
tail -n 1 "$logs/test.log"
grep -q '^tests: [0-9]* passed, 0 failed, 0 skipped$' "$logs/test.log" || status=1
verdict "test command as root on $release" "$status"

echo "== as root: run command offline with a one-line city file"
mkdir -p "$jail/root/own-data/data"
printf '1\tMy Own Town\tx\n' > "$jail/root/own-data/data/cities15000.txt"
status=0
inside 'cd /root/own-data && printf "1\n2\nMy Own Town\n3\n" |
  npm_config_registry=http://127.0.0.1:9 timeout 600 bash scripts/run.sh' \
  > "$logs/run.log" 2>&1 || status=$?
grep -q '^100% my_own_town$' "$logs/run.log" || status=1
grep -q 'fetching' "$logs/run.log" && status=1
verdict "run command offline with the user's own data on $release" "$status"

echo "== as root: an install from the run command's build; a fetch with an empty HOME"
status=0
inside 'prefix=$(mktemp -d) && cd /root/own-data &&
  cmake --install build --prefix "$prefix" &&
  test -f "$prefix/share/man/man1/farwander.1.gz" &&
  home=$(mktemp -d) && HOME=$home bash scripts/fetch-data.sh "$(mktemp -d)" &&
  test -z "$(ls -A "$home")"' > "$logs/install.log" 2>&1 || status=$?
verdict "install after the run command, and a fetch that leaves HOME as it was, on $release" "$status"

echo "== as a user without sudo, cmake missing"
inside 'apt-get remove -y -qq cmake && useradd -m tester' > "$logs/user.log" 2>&1
git clone -q --no-local "$root" "$jail/home/tester/farwander"
chroot "$jail" chown -R tester: /home/tester/farwander
for command in run test; do
  status=0
  as=tester inside "cd ~/farwander && bash scripts/$command.sh < /dev/null" \
    > "$logs/user-$command.log" 2>&1 && status=1
  lines=$(wc -l < "$logs/user-$command.log")
  grep -q '^install-deps: missing packages; as root run: apt-get update && apt-get install -y .*cmake' \
    "$logs/user-$command.log" && [ "$lines" -eq 1 ] || status=1
  cat "$logs/user-$command.log"
  verdict "$command command without sudo and without cmake on $release" "$status"
done

echo "check-debian $release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
