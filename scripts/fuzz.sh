#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan, and runs each for a bounded time from
# its seed corpus. Any crash, leak, sanitizer report or timeout fails the run.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"

scripts/install-deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for seeds in fuzz/corpus/*/; do
  name=$(basename "$seeds")
  mkdir -p "$work/$name"
  echo "== fuzz_$name: $seconds s"
  if ! build/fuzz/fuzz/fuzz_"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/$name-" "$work/$name" "$seeds" \
      >"$work/$name.log" 2>&1; then
    echo "fuzz_$name FAILED:"
    tail -n 60 "$work/$name.log"
    mkdir -p fuzz-findings && cp "$work/$name"-* fuzz-findings/ 2>/dev/null || true
    status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$work/$name.log" | tail -n 2
  fi
done
exit $status
