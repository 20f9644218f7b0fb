#!/usr/bin/env bash
# Builds the genuine Win32 executables with Debian's MinGW-w64 (installing what is missing):
#   build-windows/i686/qksonnerix.exe     the 32-bit executable, the release artifact
#   build-windows/x86_64/qksonnerix.exe   the 64-bit one, which the Wine tests run
# QK_WINDOWS_BUILD_DIR changes the folder; arguments name the targets to build (default both).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

root=${QK_WINDOWS_BUILD_DIR:-build-windows}
arches=("$@")
[ ${#arches[@]} -eq 0 ] && arches=(i686 x86_64)
for arch in "${arches[@]}"; do
  echo "== Windows build ($root/$arch)"
  cmake -S . -B "$root/$arch" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/$arch" -j2
done
