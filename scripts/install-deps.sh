#!/usr/bin/env bash
# Installs what the build needs (Debian packages): the compiler, CMake, zlib, pkg-config, and
# for the tests GoogleTest and util-linux (`fallocate --dig-holes` makes a store sparse). Extras
# name what only one target needs: bench (Google Benchmark), fuzz (clang with libFuzzer),
# coverage (lcov). Run as root it installs what is missing;
# otherwise it only reports.
# Usage: install-deps.sh [bench] [fuzz] [coverage]
set -euo pipefail
packages=(g++ make cmake zlib1g-dev pkgconf libgtest-dev libgmock-dev util-linux)
for extra in "$@"; do
  case $extra in
    bench) packages+=(libbenchmark-dev) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    coverage) packages+=(lcov) ;;
    *) echo "install-deps.sh: unknown extra '$extra' (bench, fuzz or coverage)" >&2; exit 2 ;;
  esac
done
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
