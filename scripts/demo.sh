#!/usr/bin/env bash
# Runs the end-to-end example in a fresh data root.
set -eu
dir=${1:-build}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cat > "$root/qvpapi.conf" <<CONF
[QVPAPI]
PathName=$root/data
[Platform]
RunDir=$root/run
CONF
mkdir -p "$root/data" "$root/run"
QVPAPI_CONFIG="$root/qvpapi.conf" "$dir/demo" "$root"
