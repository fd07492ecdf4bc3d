#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   scripts/test.sh            release build
#   scripts/test.sh debug-asan any configure preset, e.g. the sanitizer build
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"

case "$preset" in
  clang | tsan) scripts/install-deps.sh clang libclang-rt-14-dev ;;
  *) scripts/install-deps.sh ;;
esac
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"

# The test programs that may reach the server's shared-memory segment enter a private IPC
# namespace themselves, so ctest needs no wrapper.
ctest --preset "$preset" -j "$(nproc)"
