#!/usr/bin/env bash
# Removes the install in PREFIX (cmake --install ... --prefix PREFIX): the files the list it left
# in PREFIX/share/qvpapi names, then the folders it made there, where they are empty. Installs into
# other prefixes from the same build folder stay.
# Usage: uninstall.sh PREFIX
set -euo pipefail
[ $# -eq 1 ] && [ -n "$1" ] || { echo "usage: uninstall.sh PREFIX (the --prefix of the install)" >&2; exit 2; }
prefix=$1
[ "$prefix" = / ] || prefix=${prefix%/}
list=$prefix/share/qvpapi/install_manifest.txt
[ -f "$list" ] || { echo "uninstall.sh: no qvpapi install in $prefix ($list is not there)" >&2; exit 1; }
mapfile -t names < "$list"
files=0
folders=0
for name in "${names[@]}"; do
  # Only names below the prefix: the list holds nothing else.
  case "/$name/" in
    //|///*|*/../*) echo "uninstall.sh: $list: '$name' is no name below $prefix; left alone" >&2; continue ;;
  esac
  path=$prefix/$name
  if [ "$name" != "${name%/}" ]; then  # a folder the install made, after what went into it
    [ "$name" = ./ ] && path=$prefix
    if [ -d "$path" ] && [ ! -L "$path" ] && rmdir "$path" 2>/dev/null; then folders=$((folders + 1)); fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    rm -f -- "$path"
    files=$((files + 1))
  fi
done
echo "uninstall.sh: removed $files files and $folders empty folders of the install in $prefix"
