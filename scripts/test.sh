#!/usr/bin/env bash
# Installs what is missing, builds QK Sonnerix and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${QK_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" -j2 --output-on-failure --timeout 120
