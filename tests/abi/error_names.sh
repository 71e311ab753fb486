#!/usr/bin/env bash
# Every API error code the library's sources answer has a name in include/qvpapi/errors.h, and
# the other public headers speak of codes by those names, never by number.
# Usage: error_names.sh <source dir>
set -euo pipefail
src=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
errors=$src/include/qvpapi/errors.h

sed -n 's/^#define QVAPI_[A-Z0-9_]* *0x\([0-9A-Fa-f]\{8\}\)u.*/\1/p' "$errors" | tr a-f A-F | sort -u > "$tmp/named"
# 0x20000000 is the base that Windows error numbers are added to, no code of its own.
grep -rhoE '0x20[0-9A-Fa-f]{6}\b' "$src/src" | sed 's/^0x//' | tr a-f A-F | grep -v '^20000000$' |
  sort -u > "$tmp/used"
status=0
if comm -23 "$tmp/used" "$tmp/named" | grep -q .; then
  echo "codes in src/ without a name in errors.h:"; comm -23 "$tmp/used" "$tmp/named" | sed 's/^/  0x/'
  status=1
fi
for h in "$src"/include/qvpapi.h "$src"/include/qvpapi/*.h; do
  [ "$h" = "$errors" ] && continue
  if grep -nE '0x20[0-9A-Fa-f]{6}\b' "$h" | grep -v '0x20000000 plus' > "$tmp/raw"; then
    echo "$(basename "$h") names codes by number:"; sed 's/^/  /' "$tmp/raw"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$(wc -l < "$tmp/used") codes answered, each named; headers use the names"
exit $status
