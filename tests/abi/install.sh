#!/usr/bin/env bash
# `cmake --install` gives a tree a caller can build against: the examples build through
# pkg-config, the first program also through find_package(qvpapi) (examples/cmake-consumer, the
# README's CMake project), and load the installed library by its SONAME; the demo and the first
# program run against the installed simulator; no failure injection installed. The README's
# Install block as it runs it, into scratch prefixes: one build folder installed into the system
# prefix and then into another, each install uninstalled by its prefix, leaves none of its files.
# Usage: install.sh <build dir> <source dir> [extra compile and link flags]
set -euo pipefail
build=$1
src=$2
extra=${3:-}
# shellcheck source=../../scripts/end-child.sh
. "$src/scripts/end-child.sh"
tmp=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then end_child "$sim_pid"; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
# The README's two prefixes: the system's (/usr/local) and one in the caller's HOME ($HOME/qvp).
system=$tmp/usr/local
prefix=$tmp/home/qvp
list=share/qvpapi/install_manifest.txt
install_into() {  # <prefix>
  cmake --install "$build" --prefix "$1" > "$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; exit 1; }
}
# Every file of an install is on the list it leaves in its prefix, and every name there is its file.
expect_listed() {  # <root the prefix lies in> <its list>
  local found listed
  found=$(cd "$1" && find . ! -type d | sed 's|^\./||' | sort)
  listed=$(grep -v '/$' "$2" | sort)
  [ "$found" = "$listed" ] || { echo "$2 does not list what the install put there:"; diff <(echo "$listed") <(echo "$found"); exit 1; }
}
install_into "$system"
install_into "$prefix"
expect_listed "$system" "$system/$list"
expect_listed "$prefix" "$prefix/$list"
pc=$(find "$prefix" -name qvpapi.pc)
[ -n "$pc" ] || { echo "no qvpapi.pc installed"; exit 1; }
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir qvpapi)
# Plain paths of this prefix, which a program's rpath keeps as they are.
flags() { pkg-config "$@" qvpapi | sed 's/ *$//'; }
[ "$(flags --libs)" = "-L$libdir -lqvpapi" ] && [ "$(dirname "$libdir")" = "$prefix" ] &&
  [ "$(flags --cflags)" = "-I$prefix/include" ] ||
  { echo "qvpapi.pc gives '$(pkg-config --cflags --libs qvpapi)', not the plain paths of $prefix"; exit 1; }
soname=$(readelf -d "$libdir/libqvpapi.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libqvpapi.so.1 ] || { echo "SONAME is '$soname', not libqvpapi.so.1"; exit 1; }
[ -f "$prefix/include/qvpapi.h" ] && [ -f "$prefix/include/qvpapi/nodes.h" ] ||
  { echo "public headers not installed"; exit 1; }
sim=$prefix/bin/qvp-manager-sim
[ -x "$sim" ] || { echo "the simulator is not installed beside the library"; exit 1; }
for f in "$libdir/libqvpapi.so" "$sim"; do
  ! nm -C "$f" | grep 'win::fault::' || { echo "$f holds the failure-injection symbols above"; exit 1; }
done

# The README's first program as it says: PathName is the simulator's --root, the store's folders.
# The programs run bounded: a stalled one fails the test with its status (124), not by ctest's time-out.
run_first() {  # <program>
  local root port out status=0
  root=$(mktemp -d "$tmp/first.XXXXXX")
  mkdir -p "$root/qvp/SERVER/ZARNQV/MNGFL/NODEDEF" "$root/qvp/SERVER/ZARNQV/MNGFL/NODEGROUP"
  printf '[QVPAPI]\nPathName=%s\n' "$root/qvp" > "$root/qvpapi.conf"
  "$sim" --root "$root/qvp" --port 0 > "$root/port" &
  sim_pid=$!
  for _ in $(seq 300); do
    [ -s "$root/port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  port=$(head -n1 "$root/port")
  out=$(QVPAPI_CONFIG="$root/qvpapi.conf" timeout 120 "$1" "$port") || status=$?
  end_child "$sim_pid"
  sim_pid=
  [ "$status" -eq 0 ] && [ "$out" = "found pc001" ] ||
    { echo "$1: status $status, said '$out'"; tail -20 "$root/qvp/LOG/DLL.LOG" 2>/dev/null; exit 1; }
  # With no manager on the port it says why it stops, and where the log is.
  printf 'ConnectRetryCount=1\n' >> "$root/qvpapi.conf"
  status=0
  out=$(QVPAPI_CONFIG="$root/qvpapi.conf" timeout 120 "$1" "$port" 2>&1) || status=$?
  [ "$status" -eq 1 ] && [ "$out" = "qvAPIOpen failed: 0x20710000 (QVAPI_ERR_CONNECT_REFUSED, no manager on that port); why is in <PathName>/LOG/DLL.LOG" ] ||
    { echo "$1 without a manager: status $status, said '$out'"; exit 1; }
  # A root it cannot write (here a file) has no DLL.LOG: it says where else to look, and the
  # event log's file says why.
  printf '[QVPAPI]\nPathName=%s\n[Platform]\nEventLogFile=%s\n' "$root/port" "$root/events.log" > "$root/file.conf"
  status=0
  out=$(QVPAPI_CONFIG="$root/file.conf" timeout 120 "$1" "$port" 2>&1) || status=$?
  [ "$status" -eq 1 ] && [ "$out" = "qvAPIOpen failed: 0x20210000 (QVAPI_ERR_TCP_SOCKET, no lock file in the run-time folder); why is in <PathName>/LOG/DLL.LOG or, where the root cannot be written, only in the event log (syslog: journalctl -t qvpapi; without syslog, the file EventLogFile names in [Platform])" ] &&
    grep -q "DLL.LOG: the lock QVPAPI.LOG.DLL.LOG in $root/port/RUN cannot be had" "$root/events.log" ||
    { echo "$1 with a root that is a file: status $status, said '$out'"; cat "$root/events.log"; exit 1; }
}

mkdir "$tmp/run"
# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -Werror $extra $(pkg-config --cflags qvpapi) "$src/examples/demo.c" \
  -o "$tmp/run/demo" $(pkg-config --libs qvpapi) -Wl,-rpath,"$libdir"
# ldd's whole answer first: grep -q stops reading at its match, and ldd, cut short while it still
# writes, would fail the pipeline now and then.
loaded=$(ldd "$tmp/run/demo")
grep -q "libqvpapi.so.1 => $libdir/libqvpapi.so.1" <<< "$loaded" ||
  { echo "the example does not load the installed library:"; echo "$loaded"; exit 1; }
# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -Werror $extra $(pkg-config --cflags qvpapi) "$src/examples/first.c" \
  -o "$tmp/run/first" $(pkg-config --libs qvpapi) -Wl,-rpath,"$libdir"
run_first "$tmp/run/first"
ln -s "$sim" "$tmp/run/qvp-manager-sim"
"$src/scripts/demo.sh" "$tmp/run" > "$tmp/demo.log" || { cat "$tmp/demo.log"; exit 1; }

# The README's CMake project, as it builds it.
cmake -S "$src/examples/cmake-consumer" -B "$tmp/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$extra" \
  -DCMAKE_EXE_LINKER_FLAGS="$extra" > "$tmp/consumer.log" || { cat "$tmp/consumer.log"; exit 1; }
cmake --build "$tmp/consumer" >> "$tmp/consumer.log" || { cat "$tmp/consumer.log"; exit 1; }
run_first "$tmp/consumer/first"

# The README's uninstall, each prefix by its own list: the system's first, which leaves the other
# whole; then the other, installed over once more (an update keeps the folders of the first
# install on its list). A file of the caller's own in a folder the install made stays, with it.
uninstall() {  # <prefix>
  "$src/scripts/uninstall.sh" "$1" > "$tmp/uninstall.log" 2>&1 || { cat "$tmp/uninstall.log"; exit 1; }
}
left() {  # <folder>: what is in it but folders
  [ ! -e "$1" ] || (cd "$1" && find . ! -type d | sed 's|^\./||' | sort)
}
echo "mine" > "$system/include/mine.h"
uninstall "$system"
[ "$(left "$system")" = include/mine.h ] || { echo "uninstalling $system leaves:"; left "$system"; exit 1; }
expect_listed "$prefix" "$prefix/$list"
install_into "$prefix"
uninstall "$prefix"
[ ! -e "$prefix" ] || { echo "uninstalling $prefix leaves:"; find "$prefix"; exit 1; }
# Staged with DESTDIR, as packagers do, the tree names its files where they will be.
(export DESTDIR=$tmp/stage; install_into /usr/local)
[ "$(grep -h '^prefix=' "$tmp/stage/usr/local/lib"*/pkgconfig/qvpapi.pc)" = prefix=/usr/local ] ||
  { echo "a staged qvpapi.pc names its stage"; exit 1; }
expect_listed "$tmp/stage/usr/local" "$tmp/stage/usr/local/$list"
uninstall "$tmp/stage/usr/local"
[ -z "$(left "$tmp/stage")" ] || { echo "uninstalling the staged tree leaves:"; left "$tmp/stage"; exit 1; }
# Links in a prefix, PREFIX itself may be one (the administrator's): a name whose path passes
# through a link below it is left where it is and said, a link the list names goes as the link it
# is, and a list reached through a link is not read (nothing removed, status 1). Nothing outside
# the prefix (out/) changes. A row: how its folder is laid, the status, what is said (@: the
# row's folder; none: nothing), and what is left of it but out/ and folders.
libname=${libdir#"$prefix"/}
# A list outside the install: a file outside through the link x, the library's link the install
# made (to a file outside), the folders it made.
plant_list() {  # <folder of the list>
  mkdir -p out/x "$1" && echo victim > out/x/victim && echo library > out/libqvpapi.so.1
  printf '%s\n' x/victim lib/libqvpapi.so share/qvpapi/install_manifest.txt x/ lib/ share/qvpapi/ share/ ./ \
    > "$1/install_manifest.txt"
}
lay() {  # <row>, in its folder
  case $1 in
    lib) mkdir -p "p/$(dirname "$libname")" out/lib && ln -s "$PWD/out/lib" "p/$libname" && install_into "$PWD/p" ;;
    share) plant_list out/share/qvpapi && mkdir p && ln -s ../out/share p/share && ln -s ../out/x p/x ;;
    qvpapi) plant_list out/qvpapi && mkdir -p p/share && ln -s ../../out/qvpapi p/share/qvpapi && ln -s ../out/x p/x ;;
    list) plant_list out && mkdir -p p/share/qvpapi && ln -s ../out/x p/x &&
      ln -s ../../../out/install_manifest.txt p/share/qvpapi/install_manifest.txt ;;
    named) plant_list p/share/qvpapi && mkdir -p p/lib &&
      ln -s ../../out/libqvpapi.so.1 p/lib/libqvpapi.so && ln -s ../out/x p/x ;;
    prefix) mkdir out && install_into "$PWD/real" && ln -s real p ;;
  esac
}
outside() { find out -printf '%p %y %s %T@ %l\n' | sort; }
rows=0
while IFS='|' read -r row want said kept; do
  c=$tmp/links/$row
  mkdir -p "$c"
  (cd "$c" && lay "$row") < /dev/null
  before=$(cd "$c" && outside)
  status=0
  "$src/scripts/uninstall.sh" "$c/p" > "$c.out" 2> "$c.said" || status=$?
  left=$(cd "$c" && find . -path ./out -prune -o -type l -printf '%p -> %l\n' -o ! -type d -print | sort | paste -sd, -)
  said=${said//@/$c}
  [ "$status" = "$want" ] && [ "$(cd "$c" && outside)" = "$before" ] && [ "$left" = "${kept//@/$c}" ] &&
    if [ "$said" = none ]; then [ ! -s "$c.said" ]; else grep -qF -- "$said" "$c.said"; fi ||
    { echo "uninstall with links, $row: status $status (not $want), left '$left', said:"; cat "$c.said" "$c.out"
      echo "outside, before and after:"; diff <(echo "$before") <(cd "$c" && outside); exit 1; }
  rows=$((rows + 1))
done <<EOF
lib|0|@/p/$libname/libqvpapi.so passes through the link @/p/$libname; left alone|./p/$libname -> @/out/lib
share|1|@/p/share is a link: the list is not read through a link; nothing removed|./p/share -> ../out/share,./p/x -> ../out/x
qvpapi|1|@/p/share/qvpapi is a link: the list is not read|./p/share/qvpapi -> ../../out/qvpapi,./p/x -> ../out/x
list|1|@/p/share/qvpapi/install_manifest.txt is a link: the list is not read|./p/share/qvpapi/install_manifest.txt -> ../../../out/install_manifest.txt,./p/x -> ../out/x
named|0|@/p/x/victim passes through the link @/p/x; left alone|./p/x -> ../out/x
prefix|0|none|./p -> real
EOF
echo "installed tree: SONAME $soname, no failure injection, examples built both ways and passed; each prefix uninstalled by its list, also with links in it ($rows ways)"
