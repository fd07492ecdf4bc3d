#!/usr/bin/env bash
# Runs ctest on a small project whose tests skip as googletest's do, or print a plain reason, and
# checks that its summary ends with each skipped test's reason and nothing for the others.
#   skip_reasons_test.sh CMAKE CTEST SKIP_REASONS_SCRIPT
set -euo pipefail
cmake=$1
ctest=$2
script=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(skips NONE)
enable_testing()
add_test(NAME Suite.Skips COMMAND printf "[ RUN      ] Suite.Skips\nf.cpp:7: Skipped\nno namespace here;\nsee above\n\n[  SKIPPED ] Suite.Skips (0 ms)\n")
add_test(NAME plain_skip COMMAND printf "checking...\nno lintian on this machine\n")
add_test(NAME passes COMMAND printf "f.cpp:9: Skipped\nnot a skip: no regular expression matched\n")
set_tests_properties(Suite.Skips plain_skip PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED|no lintian")
CMAKE
"$cmake" -S "$work" -B "$work/build" >/dev/null
printf 'set(CTEST_CUSTOM_POST_TEST "\\"%s\\"")\n' "$script" >"$work/build/CTestCustom.cmake"
summary=$(cd "$work/build" && "$ctest" 2>&1 | sed -n '/^Why they were skipped:/,$p')
expected=$'Why they were skipped:\n\tSuite.Skips: no namespace here; see above\n\tplain_skip: no lintian on this machine'
if [ "$summary" != "$expected" ]; then
  printf 'FAILED: the summary ended with\n%s\n\nexpected\n%s\n' "$summary" "$expected"
  exit 1
fi
echo "each skipped test's reason follows ctest's summary"
