#!/usr/bin/env bash
# Drives the bash completions as bash does: COMP_WORDS and COMP_CWORD, then the completion
# function, then COMPREPLY. Usage: completion_test.sh COMPLETIONS_DIR [TREESHAPER_DIR|-] [CLIENTADM_DIR]
set -u
completions=$1
treeshaper_dir=${2:-}
[ "$treeshaper_dir" == "-" ] && treeshaper_dir=
clientadm_dir=${3:-}
failures=0
passes=0

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/etc/config/kytomediasvr" "$root/usr/local/corpus/bin"
cat >"$root/etc/config/kytomediasvr/clientTypes.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<UPNP_CLIENTTYPES>
  <CLIENTTYPE SHORT_NAME="SonyBravia" FULL_NAME="Sony Bravia TV"/>
  <CLIENTTYPE SHORT_NAME="Xbox360" FULL_NAME="Microsoft Xbox 360"/>
  <!-- <CLIENTTYPE SHORT_NAME="Retired" FULL_NAME="a comment, no type"/> -->
  <CLIENTTYPE FULL_NAME="Quoted: name:colon" SHORT_NAME='Quoted'/>
  <CLIENTTYPE SHORT_NAME="$(pwd)" FULL_NAME="a name that must not run"/>
</UPNP_CLIENTTYPES>
XML
cat >"$root/usr/local/corpus/bin/UPnPTree.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<TREE>
  <TYPE NAME="Music"><ATTR ID="0x1" NAME="Album"/><ATTR ID="0x1a" NAME="Genre"/></TYPE>
</TREE>
XML
export KYTO_ROOT=$root
[ -n "$treeshaper_dir" ] && export PATH="$treeshaper_dir:$PATH"
[ -n "$clientadm_dir" ] && export PATH="$clientadm_dir:$PATH"

source "$completions/clientadm"
source "$completions/treeshaper"

# expect "EXPECTED WORDS" WORD...   (the last word is the one being completed)
expect() {
  local expected=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  local fn
  fn=$(complete -p "$1" | sed 's/.*-F \([^ ]*\) .*/\1/')
  "$fn"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
  expected=$(printf '%s\n' $expected | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" == "$expected" ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: '$*' completed to [$got], expected [$expected]"
    failures=$((failures + 1))
  fi
}

expect "add del list getDuration check history restore match" clientadm ""
expect "del" clientadm d
expect "check" clientadm c
expect "--json" clientadm history ""
expect "-d -m -p -i -u -t" clientadm add -m 00:11:22:33:44:55 ""
expect "-m" clientadm del ""
expect "0 1 2 3 4 5" clientadm add -p ""
expect "" clientadm add -m ""
expect "--filePath" clientadm getDuration ""
expect "--json" clientadm list ""
expect "" clientadm list --json ""
properties="UserAgent= XAVClientInfo= FriendlyName= ModelName= Manufacturer= FriendlyNameSSDP=
  CAST-DEVICE-CAPABILITIES= FriendlyName.DLNA.ORG="
expect "--json $properties" clientadm match ""
expect "$properties" clientadm match --json UserAgent=x ""
expect "FriendlyName= FriendlyName.DLNA.ORG= FriendlyNameSSDP=" clientadm match Fr
expect "" clientadm match UserAgent = ""
expect "" clientadm match UserAgent=Tv
expect "-l --list -r --read -a --add -h --help" treeshaper ""
expect "Music Video Photo" treeshaper --list ""
expect "Video" treeshaper -a V
expect "Music Video Photo" treeshaper --read custom.xml ""
if [ -n "$treeshaper_dir" ]; then
  expect "1 26 -o --output" treeshaper --add Music ""
  expect "26" treeshaper --add Music 1 2
fi

if [ -n "$clientadm_dir" ]; then
  # -t offers the types clientadm reads from the catalogue of the exported KYTO_ROOT.
  expect 'Auto StandardDLNA150 SonyBravia Xbox360 Quoted $(pwd)' clientadm add -t ""
  expect "SonyBravia StandardDLNA150" clientadm add -m 0:1:2:3:4:5 -t S
  expect '$(pwd)' clientadm add -t '$'
  other=$root/other
  mkdir -p "$other/etc/config/kytomediasvr"
  echo '<UPNP_CLIENTTYPES><CLIENTTYPE SHORT_NAME="Other"/></UPNP_CLIENTTYPES>' \
    >"$other/etc/config/kytomediasvr/clientTypes.xml"
  KYTO_ROOT=$other expect "Auto Other StandardDLNA150" clientadm add -t ""
  # restore offers the numbers of the kept versions.
  clientadm add -m 02:00:00:00:00:01 && clientadm add -m 02:00:00:00:00:02 &&
    clientadm del -m 02:00:00:00:00:01
  expect "1 2" clientadm restore ""
fi

complete -p clientadm | grep -q -- '-F _clientadm clientadm' || { echo "FAIL: complete -p clientadm"; failures=$((failures + 1)); }
complete -p treeshaper | grep -q -- '-F _treeshaper treeshaper' || { echo "FAIL: complete -p treeshaper"; failures=$((failures + 1)); }

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
