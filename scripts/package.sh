#!/usr/bin/env bash
# Builds the Debian package of QK Sonnerix with CPack: qksonnerix_<version>_<arch>.deb in
# the build folder (QK_BUILD_DIR, build/ by default). It installs the player in /usr/bin,
# its help page, manual page, desktop entry, icons and AppStream metainfo; its
# dependencies are found by dpkg-shlibdeps, and the fonts come from fonts-wine.
# Prints the package's path as its last line. Install it with
#   sudo apt-get install ./build/qksonnerix_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2

build=${QK_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 >&2
# Files, directories and the package itself are made as root makes them on a build
# daemon: owned by root, never group- or world-writable.
rm -f "$build"/qksonnerix_*.deb
(cd "$build" && umask 022 && cpack -G DEB >&2)
debs=("$build"/qksonnerix_*_"$(dpkg --print-architecture)".deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package: no qksonnerix_*.deb was made" >&2; exit 1; }
echo "${debs[0]}"
