#!/usr/bin/env bash
# Runs every benchmark program of a build folder; each prints its side-by-side ratios.
set -u
dir=${1:-build-release}
status=0
for b in "$dir"/bench/*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
