#!/usr/bin/env bash
# Installs what building and testing QK Sonnerix needs on a Debian machine, and any
# further packages named as arguments (scripts/setup-bench.sh names the benchmark's).
# Idempotent and quiet when everything is there; works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libsdl2-dev libsdl2-ttf-dev libpulse-dev libpipewire-0.3-dev libjack-jackd2-dev libx11-dev libdbus-1-dev
  fonts-wine
  sox
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine64 xvfb xdotool openbox wmctrl x11-apps x11-utils x11-xkb-utils python3
  clang libclang-rt-14-dev
  xdg-utils
  pulseaudio pulseaudio-utils python3-xlib jackd2 pipewire-jack
  pipewire pipewire-pulse wireplumber dbus-daemon dbus-bin util-linux weston
  dpkg-dev desktop-file-utils appstream man-db
  librtmidi-dev liblo-dev liblo-tools libxcb1-dev libxcb-keysyms1-dev x11-xserver-utils
)
packages+=("$@")

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
  echo "setup: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
