#!/usr/bin/env bash
# Installs what is missing, builds QK Sonnerix and starts it on this desktop.
# The build also makes a demo bank (build/demo/DEMO.QK and its jingles); on the first
# start the player is pointed at its folder, so that "Load QK-file" finds it at once.
# Arguments are passed on to the player.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=${QK_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target qksonnerix qk_demo qk_desktop_icons

# The bank folder, as the program keeps it: key Savefile of section [QK_Wav] in its
# settings file, a DOS path (drive Z: is /). Written only when the key is absent, so an
# operator's own choice is never replaced.
config="${XDG_CONFIG_HOME:-$HOME/.config}/qksonnerix"
ini="$config/ZELVRANT.INI"
demo="$(cd "$build/demo" && pwd)"
savefile="Z:${demo//\//\\}\\*.QK"
has_savefile() {
  [ -f "$ini" ] && awk '
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^[ \t]*\[/ { name = line; gsub(/^[ \t]*\[[ \t]*|[ \t]*\].*$/, "", name); inside = tolower(name) == "qk_wav"; next }
    inside && tolower(line) ~ /^[ \t]*savefile[ \t]*=/ { found = 1 }
    END { exit found ? 0 : 1 }' "$ini"
}
if ! has_savefile; then
  mkdir -p "$config"
  tmp="$ini.run.$$"
  [ -f "$ini" ] || : >"$ini"
  QK_SAVEFILE="$savefile" awk '
    BEGIN { value = ENVIRON["QK_SAVEFILE"] }
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^[ \t]*\[/ {
      if (inside && !done) { printf "Savefile=%s\r\n", value; done = 1 }
      name = line; gsub(/^[ \t]*\[[ \t]*|[ \t]*\].*$/, "", name)
      inside = tolower(name) == "qk_wav"
    }
    { print }
    END {
      if (inside && !done) { printf "Savefile=%s\r\n", value; done = 1 }
      if (!done) printf "[QK_Wav]\r\nSavefile=%s\r\n", value
    }' "$ini" >"$tmp"
  mv -f "$tmp" "$ini"
  echo "run: the demo bank is in $demo (Load QK-file from the system menu)"
fi

exec "$build/qksonnerix" "$@"
