#!/usr/bin/env bash
# Removes the install in PREFIX (cmake --install ... --prefix PREFIX): the files the list it left
# in PREFIX/share/qvpapi names, then the folders it made there, where they are empty. Installs into
# other prefixes from the same build folder stay. Nothing below PREFIX is reached through a link
# (PREFIX itself may be one): a name whose path passes through a link is left where it is and said,
# a link the list names is removed as the link it is, and a list reached through a link is not read.
# Usage: uninstall.sh PREFIX
set -euo pipefail
unset CDPATH  # every cd below is of a name in the current folder
[ $# -eq 1 ] && [ -n "$1" ] || { echo "usage: uninstall.sh PREFIX (the --prefix of the install)" >&2; exit 2; }
prefix=$1
[ "$prefix" = / ] || prefix=${prefix%/}
list=$prefix/share/qvpapi/install_manifest.txt
missing() { echo "uninstall.sh: no qvpapi install in $prefix ($list is not there)" >&2; exit 1; }
refuse() { echo "uninstall.sh: $1: the list is not read through a link; nothing removed" >&2; exit 1; }
# What NAME in the current folder is, not followed: its kind, device and inode.
what() { stat -c '%F %d:%i' -- "$1" 2>/dev/null; }
# Goes from the current folder into each folder of the relative path $1 in turn. Each is looked at
# without following, entered, and must then be the folder looked at: one swapped for a link
# meanwhile is caught too. 1 where the path is not there; 2 at a link, named in `link`.
link=
enter() {
  local part seen walked=$prefix
  local -a parts
  IFS=/ read -ra parts <<< "$1"
  for part in "${parts[@]}"; do
    case $part in '' | .) continue ;; esac
    walked=$walked/$part
    seen=$(what "$part") || return 1
    case $seen in
      'symbolic link '*) link=$walked; return 2 ;;
      'directory '*) ;;
      *) return 1 ;;
    esac
    if ! cd -- "$part" 2>/dev/null || [ "$(what .)" != "$seen" ]; then
      link="$walked (changed while entered)"
      return 2
    fi
  done
}

cd -P -- "$prefix" 2>/dev/null || missing
top=$PWD
at=0
enter share/qvpapi || at=$?
[ $at -ne 2 ] || refuse "$link is a link"
[ $at -eq 0 ] && seen=$(what install_manifest.txt) || missing
case $seen in
  'symbolic link '*) refuse "$list is a link" ;;
  'regular file '* | 'regular empty file '*) ;;
  *) missing ;;
esac
exec 3< install_manifest.txt
[ "$(stat -L -c '%F %d:%i' /dev/fd/3)" = "$seen" ] || refuse "$list changed while it was opened"
mapfile -t names <&3
exec 3<&-
cd -- "$top"

# Removes one name of the list (with a trailing slash a folder the install made, where empty)
# from within the folder holding it: 0 removed, 1 nothing to remove, 2 left alone (said).
remove() {
  local name=$1 path=${1%/} folder=. base seen at=0
  base=${path##*/}
  [ "$base" = "$path" ] || folder=${path%/*}
  cd -- "$top" || return 1
  enter "$folder" || at=$?
  if [ $at -eq 2 ]; then
    echo "uninstall.sh: $prefix/$path passes through the link $link; left alone" >&2
    return 2
  fi
  [ $at -eq 0 ] && seen=$(what "$base") || return 1
  case $seen:$name in
    'symbolic link '*/) echo "uninstall.sh: $prefix/$path is a link; left alone" >&2; return 2 ;;
    'directory '*/) rmdir -- "$base" 2>/dev/null ;;
    'directory '*) echo "uninstall.sh: $prefix/$path is a folder; left alone" >&2; return 2 ;;
    */) return 1 ;;
    *) rm -f -- "$base" ;;  # a link (the library's own) goes as the link it is
  esac
}

files=0
folders=0
left=0
for name in "${names[@]}"; do
  # Only names below the prefix: the list holds nothing else.
  case "/$name/" in
    //|///*|*/../*) echo "uninstall.sh: $list: '$name' is no name below $prefix; left alone" >&2; continue ;;
  esac
  if [ "$name" = ./ ]; then  # the prefix itself, unless it is the administrator's link
    if [ ! -L "$prefix" ] && rmdir -- "$top" 2>/dev/null; then folders=$((folders + 1)); fi
    continue
  fi
  at=0
  (remove "$name") || at=$?
  case $at:$name in
    0:*/) folders=$((folders + 1)) ;;
    0:*) files=$((files + 1)) ;;
    2:*) left=$((left + 1)) ;;
  esac
done
said=
[ $left -eq 0 ] || said="; $left names left alone (said above)"
echo "uninstall.sh: removed $files files and $folders empty folders of the install in $prefix$said"
