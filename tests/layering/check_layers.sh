#!/usr/bin/env bash
# Checks who may include whom: each folder includes only the floors below it.
#   common       nothing of ours
#   platform     common (the stand-ins implement the appliance interfaces declared there)
#   xmlnode      common
#   libkytoutil  common, xmlnode
#   clientadm    common, xmlnode, libkytoutil's public header; inside it, cli/ below list/,
#                check/, history/ and match/, which don't include each other
#   treeshaper   common, xmlnode (its expat stream, for the markup pass)
# So no real component includes anything of platform/. Usage: check_layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"

declare -A allowed=(
  [common]="common"
  [platform]="common platform"
  [xmlnode]="common xmlnode"
  [libkytoutil]="common xmlnode libkytoutil"
  [clientadm]="common xmlnode libkytoutil clientadm"
  [treeshaper]="common xmlnode treeshaper"
)

# The folder that holds an included file, looked up as the build's include paths find it.
owner_of() {
  local folder=$1 dir=$2 name=$3
  case $name in
    common/*) [ -e "$name" ] && echo common && return ;;
    kytoutil/kytoutil.h) echo libkytoutil && return ;;
  esac
  if [ -e "$dir/$name" ] || [ -e "$folder/$name" ] || [ -e "$folder/src/$name" ]; then
    echo "$folder"
    return
  fi
  local hit
  hit=$(find xmlnode libkytoutil clientadm treeshaper platform -name "$(basename "$name")" \
        -path "*$name" -print -quit)
  echo "${hit%%/*}"
}

status=0
for folder in "${!allowed[@]}"; do
  while IFS= read -r file; do
    while IFS= read -r name; do
      owner=$(owner_of "$folder" "$(dirname "$file")" "$name")
      if [ -z "$owner" ]; then
        echo "$file: includes \"$name\", which is no file of ours"
        status=1
      elif [[ " ${allowed[$folder]} " != *" $owner "* ]]; then
        echo "$file: includes \"$name\" from $owner/, above or beside $folder/"
        status=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done < <(find "$folder" -name '*.cpp' -o -name '*.h' -o -name '*.c')
done
# Inside clientadm: main.cpp above its folders, list/, check/, history/ and match/ beside each other
# above cli/, which holds the command line, what every command runs and what two of them share.
declare -A inner=([cli]="cli" [list]="cli list" [check]="cli check" [history]="cli history"
  [match]="cli match")
for part in "${!inner[@]}"; do
  while IFS= read -r file; do
    while IFS= read -r name; do
      other=${name%%/*}
      [[ $name == */* && -n ${inner[$other]+x} ]] || continue
      if [[ " ${inner[$part]} " != *" $other "* ]]; then
        echo "$file: includes \"$name\" from clientadm/$other/, above or beside clientadm/$part/"
        status=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done < <(find "clientadm/$part" -name '*.cpp' -o -name '*.h')
done
[ $status -eq 0 ] && echo "every include keeps to its floor"
exit $status
