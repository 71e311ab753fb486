#!/usr/bin/env bash
# Runs the whole suite of a build tree as an ordinary user, so that permission faults that root
# would hide show up: a scratch HOME and TMPDIR, the build tree readable, nothing else shared.
# As root it runs the tests as TEST_USER (made when missing); as anyone else, as that user.
set -euo pipefail
dir=${1:-build}
jobs=${2:-$(nproc)}
user=${TEST_USER:-qvptest}
[ -f "$dir/CTestTestfile.cmake" ] || { echo "test-user.sh: no build tree in $dir" >&2; exit 1; }
dir=$(cd "$dir" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The tests' settings name folders below it, and a settings value is shorter than 128 bytes.
if [ ${#scratch} -gt 84 ]; then
  echo "test-user.sh: its folder $scratch is ${#scratch} characters long; the suite needs one of at most 84 (a shorter TMPDIR)" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  HOME=$scratch TMPDIR=$scratch ctest --test-dir "$dir" --output-on-failure -j "$jobs"
  exit
fi
if ! id -u "$user" >/dev/null 2>&1; then
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
fi
# The test lists are made before the run (ctest writes them into the tree), then only read.
ctest --test-dir "$dir" -N >/dev/null
chmod -R a+rX "$dir"
# What the run itself writes into the tree: ctest's results and the install test's manifest.
writable=("$dir/Testing" "$dir/install_manifest.txt")
mkdir -p "$dir/Testing"
touch "$dir/install_manifest.txt"
chown -R "$user" "${writable[@]}"
chown "$user" "$scratch"
as_user() {
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups --reset-env \
    env HOME="$scratch" TMPDIR="$scratch" PATH="$PATH" "$@"
}
# The folders above the tree must let the user through as well.
if ! as_user test -r "$dir/CTestTestfile.cmake"; then
  echo "test-user.sh: $user cannot reach $dir (a folder above it is closed to others)" >&2
  exit 1
fi
if ! as_user test -w "$scratch"; then
  echo "test-user.sh: $user cannot reach $scratch (TMPDIR is closed to others)" >&2
  exit 1
fi
status=0
as_user ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=$?
# The tree stays usable by root's next build.
chown -R root "${writable[@]}"
exit "$status"
