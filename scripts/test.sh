#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   scripts/test.sh            release build
#   scripts/test.sh debug-asan any configure preset, e.g. the sanitizer build
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"

scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"

# The tests run in a private IPC namespace where the machine allows one, so that they neither
# see nor leave behind a shared-memory client cache of the machine's own.
run=(ctest --preset "$preset" -j "$(nproc)")
if unshare --ipc true 2>/dev/null; then
  run=(unshare --ipc "${run[@]}")
fi
"${run[@]}"
