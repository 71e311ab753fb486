#!/usr/bin/env bash
# The job side's exported set is the table jobs_exports.txt: each row's function is declared in
# include/qvpapi/jobs.h and exported by the library, calls with exactly its number of arguments
# compile against the header in C, and every "internal" row stays out of the dynamic symbols.
# Usage: jobs_exports.sh <libqvpapi.so> <source dir> <C compiler>
set -euo pipefail
lib=$1
src=$2
cc=$3
table=$src/tests/abi/jobs_exports.txt
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

grep -v '^#' "$table" | awk 'NF == 2 && $2 != "internal" { print $1, $2 }' | sort > "$tmp/rows"
grep -v '^#' "$table" | awk '$2 == "internal" { print $1 }' | sort > "$tmp/internal"
cut -d' ' -f1 "$tmp/rows" > "$tmp/named"
{ grep -o 'QVPAPI_EXPORT[^(]*(' "$src/include/qvpapi/jobs.h" || true; } |
  sed -E 's/.*[ *]([A-Za-z_0-9]+)\($/\1/' | sort -u > "$tmp/declared"
nm -D --defined-only "$lib" | awk '{ sub(/@.*/, "", $3); print $3 }' | sort -u > "$tmp/symbols"

status=0
report() {  # <title> <file>
  if [ -s "$2" ]; then
    echo "$1:"; sed 's/^/  /' "$2"; status=1
  fi
}
comm -23 "$tmp/named" "$tmp/declared" > "$tmp/d1"
comm -13 "$tmp/named" "$tmp/declared" > "$tmp/d2"
comm -23 "$tmp/named" "$tmp/symbols" > "$tmp/d3"
comm -12 "$tmp/internal" "$tmp/symbols" > "$tmp/d4"
report "in the table but not declared in jobs.h" "$tmp/d1"
report "declared in jobs.h but not in the table" "$tmp/d2"
report "in the table but not exported" "$tmp/d3"
report "internal but exported" "$tmp/d4"

# One call per row with as many zero arguments as the table says: C refuses a call to a
# prototyped function with too few or too many.
{
  echo '#include "qvpapi.h"'
  echo 'void qvp_jobs_arity(void);'
  echo 'void qvp_jobs_arity(void) {'
  while read -r name count; do
    args=""
    for ((i = 0; i < count; i++)); do args+="${args:+, }0"; done
    echo "    (void)$name($args);"
  done < "$tmp/rows"
  echo '}'
} > "$tmp/arity.c"
if ! "$cc" -std=c99 -pedantic -Werror -fsyntax-only -I "$src/include" "$tmp/arity.c" 2> "$tmp/d5"; then
  report "argument counts that the header does not take" "$tmp/d5"
fi

[ $status -eq 0 ] && echo "$(wc -l < "$tmp/rows") job-side exports and $(wc -l < "$tmp/internal") internal names as tabled"
exit $status
