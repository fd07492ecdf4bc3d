#!/usr/bin/env bash
# The EXAMPLES of the programs' manual pages run, in their order, on a copy of the sample
# appliance, each with status 0; treeshaper's custom tree keeps every id its example asks for.
#   man_examples.sh SOURCE_DIR CLIENTADM_DIR TREESHAPER_DIR
set -euo pipefail
top=$1
export PATH="$2:$3:$PATH"
export KYTO_ROOT
KYTO_ROOT=$(mktemp -d)
trap 'rm -rf "$KYTO_ROOT"' EXIT
cp -a "$top/examples/root/." "$KYTO_ROOT/"
# list reads the server's client cache: only in a private IPC namespace, never the machine's own.
ipc=()
if unshare --ipc true 2>/dev/null; then ipc=(unshare --ipc); fi

# The lines of a page's EXAMPLES between .nf and .fi, as a shell reads them.
examples() {
  sed -n '/^\.SH EXAMPLES/,/^\.SH/{/^\.nf/,/^\.fi/p}' "$top/docs/man/$1" | sed '/^\.[nf][fi]$/d; s/\\-/-/g'
}

failures=0
for page in clientadm.1 treeshaper.1; do
  while IFS= read -r line; do
    if ! out=$("${ipc[@]}" bash -o pipefail -c "$line" 2>&1); then
      echo "FAILED: $page: $line"$'\n'"$out"
      failures=$((failures + 1))
    fi
  done < <(examples "$page")
done

# The ids the example adds are the ids its custom tree lists.
added=$(examples treeshaper.1 | sed -n 's/^treeshaper --add Music \([0-9 ]*\) --output.*/\1/p')
listed=$(treeshaper --read custom_1.xml Music | cut -d' ' -f1 | tr '\n' ' ')
if [ -z "$added" ] || [ "$added " != "$listed" ]; then
  echo "FAILED: treeshaper's example adds the ids [$added], its custom tree lists [$listed]"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "every example of the manual pages runs on the sample appliance"
