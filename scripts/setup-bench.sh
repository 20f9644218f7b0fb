#!/usr/bin/env bash
# Installs what only the sound benchmark (bench/pulse_bench.py) needs, on top of scripts/setup.sh:
# the peer player it is compared with, with the GStreamer elements its pipelines use to reach
# PulseAudio, and stress-ng for the load. The tests never need these.
# Idempotent and quiet when everything is there; works as root or through sudo.
set -euo pipefail

packages=(
  linux-show-player
  gir1.2-gstreamer-1.0 gir1.2-gst-plugins-base-1.0
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pulseaudio
  stress-ng
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "setup-bench: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi
echo "setup-bench: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
