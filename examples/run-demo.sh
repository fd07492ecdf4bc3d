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

if command -v ffmpeg >/dev/null; then
  media="$root/share/Multimedia/demo clip.mp4"
  mkdir -p "$(dirname "$media")"
  ffmpeg -loglevel error -f lavfi -i testsrc=duration=65:size=160x120:rate=5 \
    -f lavfi -i sine=duration=65 -shortest -y "$media"
  show clientadm getDuration --filePath "$media"
fi

show treeshaper --list Music
show treeshaper --add Music 1 2 3 31 --output custom_1.xml
show treeshaper --read custom_1.xml Music
show cat "$root/usr/local/corpus/bin/custom_1.xml"

# The configuration check: silent on the sample appliance, then on a copy of a sample with
# planted mistakes (the copy, as check creates the list's lock file beside the list).
show clientadm check
check_root="$root/check-sample"
mkdir -p "$check_root"
cp -a "$here/check-root/." "$check_root/"
show env KYTO_ROOT="$check_root" clientadm check
