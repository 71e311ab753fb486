#!/usr/bin/env bash
# Runs the end-to-end example: a fresh data root, the manager simulator on a loopback port,
# and the example program talking to it through the library.
set -eu
dir=${1:-build}
root=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$root/data" "$root/run"
cat > "$root/qvpapi.conf" <<CONF
[QVPAPI]
PathName=$root/data
SystemManagementKey=0
[Platform]
RunDir=$root/run
CONF
"$dir/qvp-manager-sim" --root "$root/data" --port 0 > "$root/port" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$root/port" ] && break; sleep 0.1; done
port=$(head -n1 "$root/port")
QVPAPI_CONFIG="$root/qvpapi.conf" "$dir/demo" "$root/data" "$port"
