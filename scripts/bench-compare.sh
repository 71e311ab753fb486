#!/usr/bin/env bash
# Before and after in one run: the benchmark programs of two build folders (their bench/ folder
# is looked in) or folders of copied binaries, alternately, each printing its own ratios against
# its outside reference. A program missing from a side's folder is said, not passed over.
# Usage: bench-compare.sh BEFORE_DIR AFTER_DIR [ROUNDS] [PROGRAM...]
# CPUS=2,3 runs every program on those processors only (taskset).
set -u
before=$1 after=$2 rounds=${3:-2}
shift $(( $# < 3 ? $# : 3 ))
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(platform_files platform_walk ar_bench nodes_lookup)
pin=()
[ -n "${CPUS:-}" ] && pin=(taskset -c "$CPUS")
for ((r = 1; r <= rounds; r++)); do
  for p in "${programs[@]}"; do
    for side in before after; do
      dir=$before
      [ $side = after ] && dir=$after
      program=$dir/$p
      [ -x "$program" ] || program=$dir/bench/$p
      if [ ! -x "$program" ]; then
        echo "== round $r: $p ($side): no such program in $dir or $dir/bench" >&2
        continue
      fi
      echo "== round $r: $p ($side${CPUS:+, cpus $CPUS})"
      "${pin[@]}" "$program" 2>&1 | sed 's/\x1b\[[0-9;]*m//g'
    done
  done
done
