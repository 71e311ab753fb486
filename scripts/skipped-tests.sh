#!/usr/bin/env bash
# Says which tests the last ctest run of a build tree skipped, and why: ctest lists them as
# "(Skipped)" only, while the reason each gave (GTEST_SKIP) is in its output, kept in LastTest.log.
# Usage: skipped-tests.sh <build dir>
set -eu
log=${1:-build}/Testing/Temporary/LastTest.log
[ -r "$log" ] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name); taking = 0; next }
  /: Skipped$/ { taking = 1; reason = ""; next }
  /^\[  SKIPPED \]/ {
    if (taking) {
      if (!said++) print "Skipped, and why:"
      print "  " name ": " reason
    }
    taking = 0
    next
  }
  taking { reason = reason (reason == "" ? "" : " ") $0 }
' "$log"
