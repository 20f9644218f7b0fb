#!/usr/bin/env bash
# Desktop benchmark (not a test): the real player under Xvfb with openbox.
#   - start-up: from launch to the first painted main window, with twelve 5 MB samples
#   - idle CPU: CPU time the player uses in 10 s of doing nothing (target: under 0.05 s)
#   - memory: resident size with the twelve samples and without any (target: the
#     samples' total plus under 60 MB)
# Usage: bench/desktop_bench.sh [path/to/qksonnerix]   (default: build/qksonnerix)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/qksonnerix}")
for tool in Xvfb openbox xdotool xwd python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (bash scripts/setup.sh)" >&2; exit 1; }
done

root=$(mktemp -d /tmp/qk-bench.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$root/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 200); do [ -s "$root/display" ] && break; sleep 0.05; done
export DISPLAY=":$(tr -d '\n' <"$root/display")"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root"
unset WAYLAND_DISPLAY SDL_VIDEODRIVER
mkdir -p "$HOME/sounds" "$XDG_CONFIG_HOME/qksonnerix"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 200); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.05; done

# Twelve 5 MB samples: 16-bit stereo PCM at 44.1 kHz, a quiet noise (not all zeros, so
# that nothing can be shared or skipped).
size=$((5 * 1024 * 1024))
python3 - "$HOME/sounds" "$size" <<'EOF'
import os, struct, sys
folder, size = sys.argv[1], int(sys.argv[2])
body = (bytes(range(7)) * (size // 7 + 1))[:size]
for n in range(1, 13):
    with open(os.path.join(folder, "s%02d.wav" % n), "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + size) + b"WAVEfmt " +
                struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16) + b"data" + struct.pack("<I", size) + body)
EOF

ini="$XDG_CONFIG_HOME/qksonnerix/ZELVRANT.INI"
write_ini() {  # $1: with samples (1) or not (0)
  {
    printf '[QK_Pex]\r\nAuto=0\r\nRehearse=0\r\nX=40\r\nY=40\r\nW=640\r\nH=480\r\n'
    if [ "$1" = 1 ]; then
      for n in $(seq 12); do printf 'Wave%d=Z:%s\r\n' "$n" "$(printf '%s/sounds/s%02d.wav' "$HOME" "$n" | tr / '\\')"; done
    fi
  } >"$ini"
}

now_ns() { date +%s%N; }
painted() {  # the caption's middle is dark blue
  local id=$1
  xwd -silent -id "$id" 2>/dev/null | python3 -c '
import struct, sys
d = sys.stdin.buffer.read()
if len(d) < 100: sys.exit(1)
f = struct.unpack(">25I", d[:100]); at = f[0] + 12 * f[19]
o = at + 12 * f[12] + 4 * (f[4] // 2)
b, g, r = d[o], d[o + 1], d[o + 2]
sys.exit(0 if b >= 100 and r < 60 and g < 60 else 1)'
}
start_player() {  # sets player and startup_ms
  local t0 id=""
  t0=$(now_ns)
  SDL_AUDIODRIVER=dummy "$exe" >"$root/player.log" 2>&1 &
  player=$!
  pids+=("$player")
  for _ in $(seq 3000); do
    id=$(xdotool search --onlyvisible --name '^QK Sonnerix$' 2>/dev/null | tail -1 || true)
    [ -n "$id" ] && painted "$id" && break
    sleep 0.005
  done
  startup_ms=$(( ($(now_ns) - t0) / 1000000 ))
  window=$id
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_mb() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
stop_player() { kill "$player" 2>/dev/null || true; wait "$player" 2>/dev/null || true; }

hz=$(getconf CLK_TCK)
echo "QK Sonnerix desktop benchmark ($exe, display $DISPLAY)"

write_ini 1
start_player
echo "start-up to the first painted window, twelve 5 MB samples: ${startup_ms} ms"
sleep 1
c0=$(cpu_ticks "$player")
sleep 10
c1=$(cpu_ticks "$player")
echo "CPU used in 10 s of idling: $(awk -v t=$((c1 - c0)) -v hz="$hz" 'BEGIN { printf "%.3f", t / hz }') s (target < 0.05 s)"
# Once a sample has played the sound device stays open; idling then costs its clock.
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool key F1 space
sleep 1
c0=$(cpu_ticks "$player")
sleep 10
c1=$(cpu_ticks "$player")
echo "CPU used in 10 s of idling after a play (sound device open): $(awk -v t=$((c1 - c0)) -v hz="$hz" 'BEGIN { printf "%.3f", t / hz }') s"
with=$(rss_mb "$player")
stop_player

write_ini 0
start_player
echo "start-up to the first painted window, no samples: ${startup_ms} ms"
sleep 1
without=$(rss_mb "$player")
stop_player

total=$(awk -v s="$size" 'BEGIN { printf "%.1f", 12 * (s + 44) / 1048576 }')
echo "memory (resident): ${with} MB with the samples (${total} MB of them), ${without} MB without"
echo "memory beyond the samples: $(awk -v a="$with" -v b="$total" 'BEGIN { printf "%.1f", a - b }') MB (target < 60 MB)"
