#!/usr/bin/env bash
# Every API error code the library's sources answer has a name in include/qvpapi/errors.h, and
# the other public headers speak of codes by those names, never by number.
# Usage: error_names.sh <source dir>
set -euo pipefail
src=$1
errors=$src/include/qvpapi/errors.h
named=$(sed -n 's/^#define QVAPI_[A-Z0-9_]* *0x\([0-9A-Fa-f]\{8\}\)u.*/\1/p' "$errors" | tr a-f A-F | sort -u)
# 0x20000000 is the base that Windows error numbers are added to, no code of its own.
used=$(grep -rhoE '0x20[0-9A-Fa-f]{6}\b' "$src/src" | sed 's/^0x//' | tr a-f A-F | grep -v '^20000000$' | sort -u)
unnamed=$(comm -23 <(echo "$used") <(echo "$named"))
status=0
[ -z "$unnamed" ] || { echo "codes in src/ without a name in errors.h:"; sed 's/^/  0x/' <<< "$unnamed"; status=1; }
for h in "$src"/include/qvpapi.h "$src"/include/qvpapi/*.h; do
  [ "$h" = "$errors" ] && continue
  raw=$(grep -nE '0x20[0-9A-Fa-f]{6}\b' "$h" | grep -v '0x20000000 plus' || true)
  [ -z "$raw" ] || { echo "$(basename "$h") names codes by number:"; sed 's/^/  /' <<< "$raw"; status=1; }
done
[ $status -ne 0 ] || echo "$(wc -l <<< "$used") codes answered, each named; headers use the names"
exit $status
