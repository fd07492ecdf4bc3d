#!/usr/bin/env bash
# Runs the end-to-end suites with every clientadm and treeshaper run under valgrind (release
# build): a memory error, or a leak that is definitely or indirectly lost, fails the run. The
# program-wide lists that live until exit stay reachable, which is no error.
#   scripts/valgrind.sh            JOBS=N sets the build and test parallelism (default: nproc),
#                                  PRESET=NAME the configure preset (default: release)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-$(nproc)}"
preset="${PRESET:-release}"

scripts/install-deps.sh valgrind
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$jobs"

# Suites that start the programs through the test helper, which puts KYTO_TEST_WRAPPER before
# them. getDuration's media queries are left out: valgrind stops at an instruction of a library
# that FFmpeg loads (SIGILL in libhwy), which says nothing about this project's code.
suites='^(Cases/RejectedCommandLine|Cases/Match|ClientadmProgram|LiveSources|GetDurationProgram\.RefusesBadCommandLines'
suites+='|treeshaper\.(CommandLine|Listing|CustomTree)'
suites+='|BadInput|StorageFaults|LockFile|ListFile|DanglingLink|LiveSourceFaults|CheckProgram|History)\.'

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
export KYTO_TEST_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full \
--show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
--log-file=$logs/vg-%p.log"

run=(ctest --preset "$preset" -j "$jobs" -R "$suites")
if unshare --ipc true 2>/dev/null; then
  run=(unshare --ipc "${run[@]}")
fi
status=0
"${run[@]}" || status=$?
for log in "$logs"/vg-*.log; do
  if [ -s "$log" ]; then
    echo "== valgrind report $(basename "$log")"
    cat "$log"
    status=1
  fi
done
exit $status
