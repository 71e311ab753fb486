#!/usr/bin/env bash
# Runs the end-to-end example: a fresh data root, the manager simulator on a loopback port,
# and the example program talking to it through the library. Exits with the example's status.
set -eu
# shellcheck source=end-child.sh
. "$(dirname "$0")/end-child.sh"
dir=${1:-build}
root=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then end_child "$sim_pid"; fi
  rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$root/data" "$root/run"
cat > "$root/qvpapi.conf" <<CONF
[QVPAPI]
PathName=$root/data
SystemManagementKey=0
ConnectRetryCount=1
[Platform]
RunDir=$root/run
CONF
"$dir/qvp-manager-sim" --root "$root/data" --port 0 --demo-job > "$root/port" &
sim_pid=$!
# The simulator prints its port once it listens (a loaded machine may take seconds).
for _ in $(seq 300); do
  [ -s "$root/port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
port=$(head -n1 "$root/port")
if [ -z "$port" ]; then
  echo "demo.sh: the manager simulator did not start" >&2
  exit 1
fi
echo "manager simulator on 127.0.0.1:$port, over a fresh data root that goes when the demo ends"
status=0
QVPAPI_CONFIG="$root/qvpapi.conf" "$dir/demo" "$root/data" "$port" || status=$?
exit "$status"
