#!/usr/bin/env bash
# Installs what the build, the tests, the benchmarks and the fuzzers need (Debian packages).
# Run as root it installs what is missing; otherwise it only reports.
set -euo pipefail
packages=(g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev clang libclang-rt-14-dev lcov pkgconf)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || true
  apt-get install -y -qq "${missing[@]}"
else
  echo "missing packages (run as root to install): ${missing[*]}" >&2
fi
