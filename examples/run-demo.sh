#!/usr/bin/env bash
# Shows the tools on a staged sample appliance: run-demo.sh BUILD_DIR ROOT (KYTO_ROOT=ROOT set).
set -euo pipefail
bin=$1
root=$2
here=$(cd "$(dirname "$0")" && pwd)

# A private IPC namespace keeps the demo's client cache away from the machine's own.
if [ -z "${KYTO_DEMO_PRIVATE_IPC:-}" ] && unshare --ipc true 2>/dev/null; then
  KYTO_DEMO_PRIVATE_IPC=1 exec unshare --ipc "$0" "$@"
fi

clientadm="$bin/clientadm/clientadm"
treeshaper="$bin/treeshaper/treeshaper"
dmscache="$bin/platform/dmscache/kyto-dmscache"
export PATH="$bin/clientadm:$bin/treeshaper:$PATH"

show() {
  printf '\n$ %s\n' "$*"
  "$@" || printf '(exit status %d)\n' "$?"
}

echo "Sample appliance staged in $root (KYTO_ROOT)."

# The appliance's daemon and agent are not here: their stand-ins fill the client cache and
# answer as the DMC agent.
install -D -m 0755 "$here/../platform/halyard/halyard" "$root/mnt/ext/opt/VELD/bin/halyard"
if [ -n "${KYTO_DEMO_PRIVATE_IPC:-}" ]; then
  "$dmscache" set "$here/dms-cache.txt"
else
  echo "(no private IPC namespace here: the demo runs without the media server's client cache)"
fi

show clientadm list
show clientadm add -m 00:11:22:33:44:55 -p 3 -u guest -t CUST0123456789ab -i 192.168.1.50
show clientadm list
show clientadm del -m 70:b3:d5:0c:41:e8

show clientadm getDuration --filePath "$root/share/Multimedia/demo clip.mp4"

show treeshaper --list Music
show treeshaper --add Music 1 2 3 31 --output custom_1.xml
show treeshaper --read custom_1.xml Music
show cat "$root/usr/local/corpus/bin/custom_1.xml"
