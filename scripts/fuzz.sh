#!/usr/bin/env bash
# Runs every libFuzzer target for the given seconds, starting from its seed corpus.
set -u
dir=${1:-build-fuzz}
seconds=${2:-60}
status=0
for f in "$dir"/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f"); name=${name#fuzz_}
  corpus=fuzz/corpus/$name
  work=$(mktemp -d)
  echo "== $name (${seconds}s)"
  "$f" -max_total_time="$seconds" "$work" "$corpus" || status=1
  rm -rf "$work"
done
exit $status
