#!/usr/bin/env bash
# Builds the Debian packages, checks them with lintian, installs them, runs the installed
# programs against a temporary root, and removes them again.
#   scripts/package.sh [--keep]   --keep leaves the packages installed
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
keep="${1:-}"

scripts/install-deps.sh lintian dpkg-dev file man-db
build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKYTO_BUILD_TESTS=OFF -DKYTO_BUILD_BENCH=OFF -DKYTO_INSTALL_TEST_TOOLS=ON \
  -DKYTO_PACKAGE_DOCS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB -B "$top/$build/packages" >/dev/null)
debs=("$build"/packages/*.deb)
printf 'built %s\n' "${debs[@]}"

echo "== dependencies"
# The library and clientadm read XML with the system's expat; treeshaper also links libxml2.
depends() { dpkg-deb -f "$build/packages/$1"_*.deb Depends; }
for package in libkytoutil1 kyto-tools; do echo "$package: $(depends $package)"; done
if depends libkytoutil1 | grep -qE 'libxml2|pugixml'; then
  echo "FAILED: libkytoutil1 depends on an XML library it does not use"
  exit 1
fi
for package in libkytoutil1 kyto-tools; do
  depends $package | grep -q libexpat1 || { echo "FAILED: $package lacks libexpat1"; exit 1; }
done
depends kyto-tools | grep -q libxml2 || { echo "FAILED: kyto-tools lacks libxml2"; exit 1; }

echo "== lintian"
lintian --fail-on error --suppress-tags-from-file "$top/scripts/lintian-suppressed.txt" "${debs[@]}"

echo "== install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends "${debs[@]/#/./}" >/dev/null
packages=(libkytoutil1 libkytoutil-dev kyto-tools kyto-appliance-standins)
remove() { apt-get remove -y --purge "${packages[@]}" >/dev/null; }
[ "$keep" == "--keep" ] || trap remove EXIT

echo "== installed programs against a temporary root"
root=$(mktemp -d)
trap 'rm -rf "$root"; [ "$keep" == "--keep" ] || remove' EXIT
cp -a examples/root/. "$root/"
export KYTO_ROOT=$root
check() {
  local expected=$1
  shift
  local got
  got=$("$@" 2>&1) || true
  if [[ $got != *"$expected"* ]]; then
    echo "FAILED: $* printed:"
    echo "$got"
    exit 1
  fi
  echo "ok: $*"
}
check "/usr/bin/clientadm" command -v clientadm
check "0|00:1d:5a:10:22:01|192.168.1.20||AuroraTV2019|0|family|0" unshare --ipc clientadm list
clientadm add -m 00:11:22:33:44:55 -p 2
check "0|00:11:22:33:44:55||||2||0" unshare --ipc clientadm list
check "Usage: treeshaper [OPTION]..." treeshaper --help
check "2 Album" treeshaper --list Music
check "clientadm.1.gz" man -w clientadm
check "libkytoutil.3.gz" man -w libkytoutil
check "1.0.0" pkg-config --modversion libkytoutil
check "complete -F _clientadm clientadm" bash -c \
  'source /usr/share/bash-completion/completions/clientadm && complete -p clientadm'
echo "packages work"
