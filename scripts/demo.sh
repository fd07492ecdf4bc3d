#!/usr/bin/env bash
# The main job on the bundled sample appliance: installs what is missing, builds, stages the
# sample root from examples/ in a temporary directory, and shows the tools at work on it.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
bin="$top/build/release"

root=$(mktemp -d "${TMPDIR:-/tmp}/kyto-demo-XXXXXX")
trap 'rm -rf "$root"' EXIT
cp -a examples/root/. "$root/"
export KYTO_ROOT="$root"
exec "$top/examples/run-demo.sh" "$bin" "$root"
