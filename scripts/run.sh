#!/usr/bin/env bash
# Installs what is missing, builds QK Sonnerix and starts it on this desktop.
# The build also makes a demo bank (build/demo/DEMO.QK and its jingles); when there is no
# settings file yet, the player starts with the demo bank on its keys (it finds the bank
# beside itself, as an installed player finds the one in its share folder).
# Arguments are passed on to the player.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=${QK_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target qksonnerix qk_demo qk_desktop_icons

exec "$build/qksonnerix" "$@"
