#!/usr/bin/env bash
# Shows the tools at work on a copy of the sample appliance of examples/root:
#   run-demo.sh BUILD_DIR
# The copy is staged in a temporary directory, which KYTO_ROOT points the tools at, and is removed
# on every exit: at the end, on an error and on Ctrl-C.
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# A private IPC namespace keeps the demo's client cache away from the machine's own. Entered
# before anything is staged, so that the clean-up below belongs to the process that runs.
if [ -z "${KYTO_DEMO_PRIVATE_IPC:-}" ] && unshare --ipc true 2>/dev/null; then
  KYTO_DEMO_PRIVATE_IPC=1 exec unshare --ipc "$0" "$@"
fi

# bash runs the EXIT trap also when Ctrl-C, SIGTERM or SIGHUP ends it.
root=""
trap '[ -z "$root" ] || rm -rf "$root"' EXIT
root=$(mktemp -d "${TMPDIR:-/tmp}/kyto-demo-XXXXXX")
echo "Staging the sample appliance in $root (KYTO_ROOT)..."
cp -a "$here/root/." "$root/"
export KYTO_ROOT=$root

dmscache="$bin/platform/dmscache/kyto-dmscache"
export PATH="$bin/clientadm:$bin/treeshaper:$PATH"

# The appliance's daemon and agent are not here: their stand-ins fill the client cache and
# answer as the DMC agent.
install -D -m 0755 "$here/../platform/halyard/halyard" "$root/mnt/ext/opt/VELD/bin/halyard"
if [ -n "${KYTO_DEMO_PRIVATE_IPC:-}" ]; then
  "$dmscache" set "$here/dms-cache.txt"
else
  echo "(no private IPC namespace here: the demo runs without the media server's client cache)"
fi

# Says what the next step shows.
step() {
  printf '\n# %s\n' "$*"
}

# Prints a command line that can be copied as it is, then runs it.
show() {
  printf '$'
  printf ' %q' "$@"
  printf '\n'
  "$@" || printf '(exit status %d)\n' "$?"
}

# The same for a command whose output Python's json module reads and prints.
show_into_json_tool() {
  printf '$'
  printf ' %q' "$@"
  printf ' | python3 -m json.tool\n'
  "$@" | python3 -m json.tool || printf '(exit status %d)\n' "$?"
}

step "Every client the media server knows of. Each line is one client:"
cat <<'EOF'
#   deny|mac|IP|device name|client type|profileId|user|comeFrom
# deny 1 means the client is refused; profileId -1 means no profile is set. comeFrom tells where
# the client was found: 0 = the stored client list (clients.xml), 1 = the media server's client
# cache, 2 = the DMC agent's search cache.
EOF
show clientadm list

step "Store a new client with custom profile 3, user guest and a custom client type:"
show clientadm add -m 00:11:22:33:44:55 -p 3 -u guest -t CUST0123456789ab -i 192.168.1.50
step "The new client is now in the stored list (comeFrom 0):"
show clientadm list

step "Remove the refused client 70:b3:d5:0c:41:e8 from the stored list:"
show clientadm del -m 70:b3:d5:0c:41:e8
step "The listing without it:"
show clientadm list

step "Each change kept the list it replaced: the history, newest first (number|time|change|clients):"
show clientadm history
step "The versions are copies, in a directory of their own beside the list:"
show ls "$KYTO_ROOT/etc/config/kytomediasvr/clients.history"
deleted_version=$(clientadm history | head -n 1 | cut -d '|' -f 1)
step "Undo the del: restore the list it replaced, version $deleted_version:"
show clientadm restore "$deleted_version"
step "The refused client is back, the listing as it was before the del:"
show clientadm list
step "The restore is a change of its own, so it can be undone too:"
show clientadm history

step "The play duration of a media file, as HH:MM:SS:"
show clientadm getDuration --filePath "$root/share/Multimedia/demo clip.mp4"

step "The attributes of the Music browse tree, by id:"
show treeshaper --list Music
step "Write a custom Music tree that keeps only the attributes 1, 2, 3 and 31:"
show treeshaper --add Music 1 2 3 31 --output custom_1.xml
step "Read the custom tree back:"
show treeshaper --read custom_1.xml Music
step "The file treeshaper wrote, beside the appliance's own tree:"
show cat "$root/usr/local/corpus/bin/custom_1.xml"

step "A device whose name holds '|' and a line break can't forge a listing line: each prints as '?':"
hostile="$here/hostile-devices.xml"
show env HALYARD_DEVICES_FILE="$hostile" clientadm list
step "The listing for programs, as JSON: the same records, every text exact (read by Python's json module):"
show_into_json_tool env HALYARD_DEVICES_FILE="$hostile" clientadm list --json

step "Which catalogue entries a device matches, and by what pattern: a TV's user agent and friendly name."
cat <<'EOF'
# Each line is SHORT_NAME|FULL_NAME|PATTERN_TYPE|COMPARE_TYPE|PATTERN. This user agent meets the
# patterns of two entries, the old and the new Aurora TV; the friendly name meets none.
EOF
show clientadm match "UserAgent=Aurora-55 DLNADOC/1.50 AuroraTV/3.1" "FriendlyName=Living Room TV"
step "A streaming box: NimbusBox looks for its text in the friendly name, no entry in the SSDP name:"
show clientadm match "FriendlyNameSSDP=Nimbus Box" "FriendlyName=Nimbus Box"

step "The configuration check finds nothing wrong on the sample appliance (no output, status 0):"
show clientadm check
# A copy, as check creates the list's lock file beside the list.
check_root="$root/check-sample"
mkdir -p "$check_root"
cp -a "$here/check-root/." "$check_root/"
step "On a sample with planted mistakes it prints a PATH:LINE: TEXT line per problem (status 1):"
show env KYTO_ROOT="$check_root" clientadm check
