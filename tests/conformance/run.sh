#!/usr/bin/env bash
# Runs every conformance probe on the stand-in and on Wine set to Windows 95, and compares:
#
#   bash tests/conformance/run.sh <stand-in build dir> <MinGW x86_64 build dir>
#
# Both worlds get the same files under C:\ before the probes run (the stand-in's C: is a
# private home folder, Wine's the prefix's drive_c). All probes run in one prefix under one
# private Xvfb. Every differing line must be documented in tests/conformance/DIFFERENCES.md
# (compare.py). Exit code 0 when all is accounted for, 1 otherwise; a missing tool fails.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
standin_build=$(realpath "${1:?usage: run.sh <stand-in build dir> <MinGW x86_64 build dir>}")
windows_build=$(realpath "${2:?usage: run.sh <stand-in build dir> <MinGW x86_64 build dir>}")
probes=(profile files controls windows dialogs text sound)

source "$here/../wine/prefix.sh"
wine_tools
tmp=$(mktemp -d /tmp/qk-conformance.XXXXXX)
trap wine_down EXIT
mkdir -p "$tmp/out/stand-in" "$tmp/out/wine"
failed=0

# The files every probe expects under C:\.
make_tree() {
    local c=$1
    mkdir -p "$c/QKPROBE/PROFILE" "$c/QKPROBE/FILES/SUB" "$c/QKPROBE/FILES/SUB2.D" "$c/QKPROBE/FILES/.HIDDIR" \
             "$c/QKPROBE/LISTS/DIR1" "$c/QKPROBE/LISTS/Dir2" "$c/SOUNDS/JINGLES"
    for f in LISTS/a.wav LISTS/B.WAV LISTS/c.txt LISTS/.h.wav; do printf 'x' >"$c/QKPROBE/$f"; done
    chmod a-w "$c/QKPROBE/LISTS/c.txt"
    for f in SOUNDS/DING.WAV SOUNDS/BEEP.WAV SOUNDS/JINGLES/JINGLE.WAV ROOT.WAV; do
        printf 'x' >"$c/$f"
    done
}

for probe in "${probes[@]}"; do
    for side in "$standin_build/conformance/$probe" "$windows_build/conformance/$probe.exe"; do
        [ -x "$side" ] || [ -f "$side" ] || { echo "FAIL: $side is not built"; exit 1; }
    done
done

# --- the stand-in ------------------------------------------------------------------------------
mkdir -p "$tmp/stand-in/home" "$tmp/stand-in/config"
make_tree "$tmp/stand-in/home"
for probe in "${probes[@]}"; do
    (cd "$tmp/stand-in/home" && timeout 120 env HOME=$tmp/stand-in/home XDG_CONFIG_HOME=$tmp/stand-in/config \
        "$standin_build/conformance/$probe" >"$tmp/out/stand-in/$probe.txt" 2>"$tmp/out/stand-in/$probe.err")
    code=$?
    [ "$code" -eq 0 ] || { echo "FAIL: $probe on the stand-in ended with $code"; cat "$tmp/out/stand-in/$probe.err"; failed=1; }
done

# --- Wine --------------------------------------------------------------------------------------
started=$EPOCHREALTIME
wine_up
make_tree "$WINEPREFIX/drive_c"
for probe in "${probes[@]}"; do
    (cd "$WINEPREFIX/drive_c" && timeout 120 "$wine" "$windows_build/conformance/$probe.exe" \
        >"$tmp/out/wine/$probe.txt" 2>"$tmp/out/wine/$probe.err")
    code=$?
    [ "$code" -eq 0 ] || { echo "FAIL: $probe on Wine ended with $code"; cat "$tmp/out/wine/$probe.err"; failed=1; }
done
echo "wine: prefix and probes took $(awk -v now="$EPOCHREALTIME" -v then="$started" 'BEGIN { printf "%.1f", now - then }') s"

# QK_CONFORMANCE_KEEP=<dir> keeps both outputs for a look.
if [ -n "${QK_CONFORMANCE_KEEP:-}" ]; then
    mkdir -p "$QK_CONFORMANCE_KEEP"
    cp -r "$tmp/out/." "$QK_CONFORMANCE_KEEP/"
fi

python3 "$here/compare.py" "$here/DIFFERENCES.md" "$tmp/out/stand-in" "$tmp/out/wine" "${probes[@]}" || failed=1
[ "$failed" -eq 0 ]
