#!/usr/bin/env bash
# `cmake --install` of a build gives a tree a caller can build against: the example builds
# through pkg-config and through find_package(qvpapi), runs against the simulator, and loads the
# installed library by its SONAME.
# Usage: install.sh <build dir> <source dir> [extra compile and link flags]
set -euo pipefail
build=$1
src=$2
extra=${3:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; exit 1; }
pc=$(find "$prefix" -name qvpapi.pc)
[ -n "$pc" ] || { echo "no qvpapi.pc installed"; exit 1; }
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir qvpapi)
soname=$(readelf -d "$libdir/libqvpapi.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libqvpapi.so.1 ] || { echo "SONAME is '$soname', not libqvpapi.so.1"; exit 1; }
[ -f "$prefix/include/qvpapi.h" ] && [ -f "$prefix/include/qvpapi/nodes.h" ] ||
  { echo "public headers not installed"; exit 1; }

mkdir "$tmp/run"
# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -Werror $extra $(pkg-config --cflags qvpapi) "$src/examples/demo.c" \
  -o "$tmp/run/demo" $(pkg-config --libs qvpapi) -Wl,-rpath,"$libdir"
ldd "$tmp/run/demo" | grep -q "libqvpapi.so.1 => $libdir/libqvpapi.so.1" ||
  { echo "the example does not load the installed library:"; ldd "$tmp/run/demo"; exit 1; }
ln -s "$(cd "$build" && pwd)/qvp-manager-sim" "$tmp/run/qvp-manager-sim"
"$src/scripts/demo.sh" "$tmp/run" > "$tmp/demo.log" || { cat "$tmp/demo.log"; exit 1; }

cmake -S "$src/tests/abi/consumer" -B "$tmp/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DQVP_DEMO_SOURCE="$src/examples/demo.c" -DCMAKE_C_FLAGS="$extra" \
  -DCMAKE_EXE_LINKER_FLAGS="$extra" > "$tmp/consumer.log" || { cat "$tmp/consumer.log"; exit 1; }
cmake --build "$tmp/consumer" >> "$tmp/consumer.log" || { cat "$tmp/consumer.log"; exit 1; }
echo "installed tree: SONAME $soname, example built through pkg-config and find_package, demo passed"
