#!/usr/bin/env bash
# Runs the demo with a private TMPDIR: once to the end on the real build, checking a few of its
# lines, and on a build of stubs where it is interrupted (Ctrl-C, SIGTERM) while a program runs
# or where a staging step fails. Every run must remove its staging directory.
#   demo_cleanup_test.sh RUN_DEMO BUILD_DIR
set -euo pipefail
set -m # every background run gets a process group of its own, as a terminal's job does
demo=$1
build=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
check_nothing_left() {
  local left
  left=$(find "$TMPDIR" -mindepth 1 -maxdepth 1)
  [ -z "$left" ] || fail "$1 left behind: $left"
  rm -rf "${TMPDIR:?}"/*
}

out=$("$demo" "$build" 2>&1) || fail "the demo failed: $out"
[[ $out == *$'\n00:01:05\n'* ]] || fail "the demo printed no duration of its clip: $out"
# The hostile device name: one field of one line in the text listing, exact in the JSON one.
[[ $out == *'|Evil?0?x?0?de:ad:be:ef:00:01?6.6.6.6?Admin PC??0?admin?0||-1||2'* ]] ||
  fail "the demo's text listing did not make the hostile name safe: $out"
[[ $out == *'"deviceName": "Evil|0|x\n0|de:ad:be:ef:00:01|6.6.6.6|Admin PC||0|admin|0",'* ]] ||
  fail "the demo's JSON listing did not pass python3 -m json.tool with the exact name: $out"
# match: the TV's user agent meets both Aurora entries, in catalogue order.
[[ $out == *$'\nAuroraTV2019|Aurora Smart TV (2019 and later)|UserAgent|StringFind|AuroraTV/\nAuroraTVLegacy|'* ]] ||
  fail "the demo's match did not find the TV's two entries: $out"
# The output of the last command line matching the regular expression $1, up to a blank line.
output_of() {
  awk -v re="$1" '$0 ~ re { text = ""; on = 1; next }
    /^$/ { on = 0 }
    on { text = text $0 "\n" }
    END { printf "%s", text }' <<<"$out"
}
# The hostile device joins the agent's list: its line is the one line that differs.
changed=$(diff <(output_of '^[$] clientadm list$') \
  <(output_of '^[$] env HALYARD_EXTRA_DEVICES_FILE=.* clientadm list$') | grep '^[<>]' || true)
[[ $changed == '> 0|00:1a:2b:3c:4d:66|'* && $changed != *$'\n'* ]] ||
  fail "the hostile device changed more of the listing than its own line: $changed"
# One IP address per client: in all listings, no client with two addresses, no address of two.
pairs=$(grep -E '^[01][|]([0-9a-f]{2}:){5}[0-9a-f]{2}[|][0-9.]+[|]' <<<"$out" |
  cut -d'|' -f2,3 | sort -u)
shared=$( (cut -d'|' -f1 <<<"$pairs" | uniq -d; cut -d'|' -f2 <<<"$pairs" | sort | uniq -d) |
  tr '\n' ' ')
[ -z "$shared" ] || fail "a client with two IP addresses, or an address of two clients: $shared"
check_nothing_left "a whole run"

# Every command the demo printed runs again, with the status it had, in a shell set up by the
# lines it ends with (its own copy is gone by then).
if unshare --ipc true 2>/dev/null; then
  sed -n 's/^[$] //p' <<<"$out" >"$work/commands"
  expected=$(awk '/^[$] / { if (n) print s; n = 1; s = 0 }
    /^[(]exit status [0-9]+[)]$/ { s = $3 + 0 }
    END { print s }' <<<"$out")
  setup=$(sed -n '/To run the commands above again/,$s/^    //p' <<<"$out")
  rerun='while IFS= read -r line <&3; do
    (eval "$line") </dev/null >/dev/null 2>&1 && echo 0 || echo $?
  done 3<"$1"'
  got=$(cd "$work" && unshare --ipc bash -c "set -e; $setup"$'\n'"$rerun" - "$work/commands")
  [ "$got" == "$expected" ] || fail "the printed commands ran again with the statuses" \
    "[$(echo $got)], not [$(echo $expected)]: $(cat "$work/commands")"
  rm -rf "${TMPDIR:?}"/*
fi

# A build whose clientadm says it started and then waits, and whose cache writer exits with the
# given status.
stub_build() {
  local dir=$work/build-$1
  mkdir -p "$dir/clientadm" "$dir/treeshaper" "$dir/platform/dmscache"
  printf '#!/bin/sh\ntouch "%s/started"\nexec sleep 60\n' "$work" >"$dir/clientadm/clientadm"
  printf '#!/bin/sh\nexit 0\n' >"$dir/treeshaper/treeshaper"
  printf '#!/bin/sh\nexit %d\n' "$1" >"$dir/platform/dmscache/kyto-dmscache"
  chmod +x "$dir"/*/* "$dir/platform/dmscache/kyto-dmscache"
  echo "$dir"
}

for signal in INT TERM; do
  rm -f "$work/started"
  "$demo" "$(stub_build 0)" >/dev/null 2>&1 &
  group=$!
  for _ in $(seq 200); do
    [ -e "$work/started" ] && break
    sleep 0.05
  done
  [ -e "$work/started" ] || fail "the demo never reached clientadm"
  kill -s "$signal" -- "-$group"
  status=0
  wait "$group" || status=$?
  [ "$status" -ne 0 ] || fail "the demo interrupted with SIG$signal exited with 0"
  check_nothing_left "a run interrupted with SIG$signal"
done

# The cache writer runs only in a private IPC namespace.
if unshare --ipc true 2>/dev/null; then
  status=0
  "$demo" "$(stub_build 1)" >/dev/null 2>&1 || status=$?
  [ "$status" -ne 0 ] || fail "the demo went on after its cache writer failed"
  check_nothing_left "a failed run"
else
  echo "no private IPC namespace: the failing staging step is not tried"
fi

[ "$failures" -eq 0 ] || exit 1
echo "no staging directory left behind"
