#!/usr/bin/env bash
# The library exports exactly the functions its public headers declare, each listed by name in
# the version script and defined with the export marker in its area's source folder.
# Usage: exports.sh <libqvpapi.so> <source dir>
set -euo pipefail
lib=$1
src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Declared: the name before "(" on every line that carries the export marker.
for h in "$src"/include/qvpapi/*.h; do
  { grep -v '^#define' "$h" | grep -o 'QVPAPI_EXPORT[^(]*(' || true; } | sed -E 's/.*[ *]([A-Za-z_0-9]+)\($/\1/' |
    sed "s|$| $(basename "$h" .h)|"
done | sort > "$tmp/declared_areas"
cut -d' ' -f1 "$tmp/declared_areas" | sort -u > "$tmp/declared"
nm -D --defined-only "$lib" | awk '$2 == "T" || $2 == "W" { sub(/@.*/, "", $3); print $3 }' |
  sort -u > "$tmp/exported"
sed -n 's/^ *\([A-Za-z_][A-Za-z_0-9]*\);$/\1/p' "$src/src/exports.map" | sort -u > "$tmp/listed"

status=0
report() {  # <title> <file>
  if [ -s "$2" ]; then
    echo "$1:"; sed 's/^/  /' "$2"; status=1
  fi
}
comm -23 "$tmp/declared" "$tmp/exported" > "$tmp/d1"
comm -13 "$tmp/declared" "$tmp/exported" > "$tmp/d2"
comm -23 "$tmp/declared" "$tmp/listed" > "$tmp/d3"
comm -13 "$tmp/declared" "$tmp/listed" > "$tmp/d4"
report "declared in include/qvpapi but not exported by $(basename "$lib")" "$tmp/d1"
report "exported by $(basename "$lib") but declared in no public header" "$tmp/d2"
report "declared but not listed in src/exports.map" "$tmp/d3"
report "listed in src/exports.map but declared in no public header" "$tmp/d4"

# Where each area's definitions live.
folder_of() {
  case $1 in
    runtime) echo src/core ;;
    archive) echo src/client ;;
    node_groups) echo src/nodes ;;
    *) echo "src/$1" ;;
  esac
}
: > "$tmp/d5"
while read -r name area; do
  dir=$(folder_of "$area")
  grep -rqsE "^extern \"C\" QVPAPI_EXPORT [^(]*[ *]$name\(" "$src/$dir" ||
    echo "$name ($area.h): no extern \"C\" QVPAPI_EXPORT definition under $dir/" >> "$tmp/d5"
done < "$tmp/declared_areas"
report "declared but not defined where its header says" "$tmp/d5"

[ $status -eq 0 ] && echo "$(wc -l < "$tmp/declared") exports: headers, version script and library agree"
exit $status
