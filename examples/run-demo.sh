#!/usr/bin/env bash
# Shows the tools at work on a copy of the sample appliance of examples/root:
#   run-demo.sh BUILD_DIR
# The copy is staged in a temporary directory, which KYTO_ROOT points the tools at, and is removed
# on every exit: at the end, on an error and on Ctrl-C. The commands it prints name no path inside
# that directory, and its last lines say how to stage a copy where they run again.
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

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
# Paths inside the copy are given from its top, so a printed command runs on any such copy.
cd "$root"

dmscache="$bin/platform/dmscache/kyto-dmscache"
export PATH="$bin/clientadm:$bin/treeshaper:$PATH"

# The appliance's daemon and agent are not here: their stand-ins fill the client cache and
# answer as the DMC agent.
halyard_location=mnt/ext/opt/VELD/bin/halyard
install -D -m 0755 "$top/platform/halyard/halyard" "$halyard_location"
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
show ls etc/config/kytomediasvr/clients.history
deleted_version=$(clientadm history | head -n 1 | cut -d '|' -f 1)
step "Undo the del: restore the list it replaced, version $deleted_version:"
show clientadm restore "$deleted_version"
step "The refused client is back, the listing as it was before the del:"
show clientadm list
step "The restore is a change of its own, so it can be undone too:"
show clientadm history

step "The play duration of a media file, as HH:MM:SS:"
show clientadm getDuration --filePath "share/Multimedia/demo clip.mp4"

step "The attributes of the Music browse tree, by id:"
show treeshaper --list Music
step "Write a custom Music tree that keeps only the attributes 1, 2, 3 and 31:"
show treeshaper --add Music 1 2 3 31 --output custom_1.xml
step "Read the custom tree back:"
show treeshaper --read custom_1.xml Music
step "The file treeshaper wrote, beside the appliance's own tree:"
show cat usr/local/corpus/bin/custom_1.xml
cat <<'EOF'
# Each blank line is where a removed attribute stood: treeshaper takes out the elements and keeps
# the text between them as it was read, so the line break and indentation around each one stay.
EOF

step "A device whose name holds '|' and a line break can't forge a listing line:"
hostile="$here/hostile-device.xml"
cat <<'EOF'
# The DMC agent reports one device more besides its own three, that of examples/hostile-device.xml
# (HALYARD_EXTRA_DEVICES_FILE). Its name is "Evil|0|x", a line break and a whole client line.
# The listing gains one line, the last, and every other line stays as above. In the new line:
#   - the name stays in its one field: each '|' and the line break print as '?';
#   - the MAC, which the agent gives in capitals, is listed in lower case, as every MAC is;
#   - no client type, no profile (-1) and no user: the agent reports none; comeFrom 2 is the agent.
EOF
show env HALYARD_EXTRA_DEVICES_FILE="$hostile" clientadm list
step "The listing for programs, as JSON: the same records, every text exact (read by Python's json module):"
show_into_json_tool env HALYARD_EXTRA_DEVICES_FILE="$hostile" clientadm list --json

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
step "A sample with planted mistakes, copied, as check creates the list's lock beside the list:"
show cp -a "$here/check-root" check-sample
step "On it check prints a PATH:LINE: TEXT line per problem (status 1):"
show env KYTO_ROOT=check-sample clientadm check

step "The demo removes its copy as it ends. To run the commands above again, in a shell of your own:"
cat <<EOF
    export PATH=$(printf %q "$bin/clientadm:$bin/treeshaper"):\$PATH
    export KYTO_ROOT=\$(mktemp -d) && cp -a $(printf %q "$here/root")/. "\$KYTO_ROOT" && cd "\$KYTO_ROOT"
    install -D $(printf %q "$top/platform/halyard/halyard") $halyard_location
# There is no client cache of the media server there (no comeFrom 1 lines): the demo writes one
# only in a private IPC namespace of its own.
EOF
