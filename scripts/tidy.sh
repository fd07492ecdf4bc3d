#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over every source of the project, as the clang preset compiles
# it; any finding fails. Tests, fuzz targets and benchmarks are left out: the checks are for the
# code that ships.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh clang clang-tidy
cmake --preset clang >/dev/null
sources=$(git ls-files 'common/*.cpp' 'xmlnode/*.cpp' 'libkytoutil/*.cpp' 'clientadm/*.cpp' \
  'treeshaper/*.cpp' 'platform/*.cpp')
# shellcheck disable=SC2086
run-clang-tidy -quiet -p build/clang -j "$(nproc)" $sources
