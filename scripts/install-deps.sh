#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and demonstrate the project.
# Only what is missing is installed; needs root (or sudo). Further package names may be given
# as arguments (the fuzzing script adds clang).
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libexpat1-dev libxml2-dev libxml2-utils libpugixml-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  util-linux mandoc bash-completion python3 strace
  libavformat-dev
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
