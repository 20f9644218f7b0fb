#!/usr/bin/env bash
# End-to-end scenarios of the genuine Windows executable on Wine, under a private Xvfb
# display, driven with xdotool:
#
#   bash tests/wine/run.sh <qksonnerix.exe (x86_64)>
#
# One Wine prefix is made for the run in a temporary folder and set up as the program needs
# it (tests/wine/prefix.sh). Every wait polls the settings file or the window list; nothing
# sleeps a fixed time to be safe.
#
# Exit code 0 when every scenario passed, 1 on a failure or when Wine, Xvfb, xdotool or
# windres is missing (scripts/setup.sh installs them all).
set -uo pipefail

exe=${1:?usage: run.sh <qksonnerix.exe>}
exe=$(realpath "$exe")

source "$(dirname "$0")/prefix.sh"
wine_tools
windres=${QK_WINDRES:-x86_64-w64-mingw32-windres}
command -v "$windres" >/dev/null || { echo "FAIL: $windres is not installed"; exit 1; }

started=$EPOCHREALTIME
tmp=$(mktemp -d /tmp/qk-wine.XXXXXX)
ini=$tmp/prefix/drive_c/windows/ZELVRANT.INI
failures=0
passed=0

trap wine_down EXIT

elapsed() { awk -v now="$EPOCHREALTIME" -v then="$started" 'BEGIN { printf "%.1f", now - then }'; }
note() { echo "[$(elapsed) s] $*"; }
fail() { note "FAIL: $*"; failures=$((failures + 1)); }

# The value of a key of [QK_Pex] in the settings file ("" when absent).
key() {
    [ -f "$ini" ] || return 0
    tr -d '\r' <"$ini" | awk -F= -v want="$1" '
        /^\[/ { section = tolower($0) == "[qk_pex]"; next }
        section && tolower($1) == tolower(want) { sub(/^[^=]*=/, ""); print; exit }'
}
has_key() { [ -f "$ini" ] && tr -d '\r' <"$ini" | grep -qi "^$1="; }
key_is() { [ "$(key "$1")" = "$2" ]; }

# The settings file as the program would have written it (CRLF lines).
write_ini() {
    printf '%s\r\n' "$@" >"$ini"
}

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
window_shown() { [ -n "$(window "$1")" ]; }
# The popup of an opened menu is one more visible window.
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l; }
more_windows_than() { [ "$(visible_windows)" -gt "$1" ]; }

start_player() {
    "$wine" "$exe" >>"$tmp/player.log" 2>&1 &
    player_pid=$!
}

player_running() { kill -0 "$player_pid" 2>/dev/null; }

# Waits until the player has ended; gives its exit code.
wait_player() {
    if ! poll 100 bash -c "! kill -0 $player_pid"; then
        kill "$player_pid" 2>/dev/null
        wait "$player_pid" 2>/dev/null
        player_pid=""
        return 124
    fi
    wait "$player_pid"
    local code=$?
    player_pid=""
    return $code
}

main_window() {
    local w=""
    poll 150 window_shown '^QK Sonnerix$' && w=$(window '^QK Sonnerix$')
    echo "$w"
}

# Closes the main window as an operator would with the mouse and waits for the player to end:
# the caption's icon opens the system menu, C is its Close (Alt+F4 does not close this program,
# and any Alt key would play slot 10 and change "Last"; xdotool windowclose destroys the X window
# under Wine's feet, which the program never hears of). Wine draws the frame of an unmanaged
# window itself, so the icon sits at the top left of the X window. A menu that was not open yet
# when C came is tried again.
close_and_wait() {
    local w=$1 try
    for try in 1 2 3; do
        local before
        before=$(visible_windows)
        xdotool mousemove --window "$w" 12 12 click 1
        poll 30 more_windows_than "$before"
        xdotool key c
        poll 30 bash -c "! kill -0 $player_pid" && break
        xdotool key Escape
    done
    wait_player || fail "the player did not end after Close (exit $?)"
}

# Drives the picker dialog <window>: types <name> into its name box (control 103, the first
# control, which has the focus when the dialog opens) and clicks OK. OK is not the default
# button and Enter in the name box does nothing, so OK is clicked: it lies at dialog units
# x 121, y 132, 112 x 12 of the dialog's client area. The dialog font is MS Sans Serif 8, whose
# dialog base units on Wine are 6 x 13 pixels (a dialog unit is 6/4 by 13/8 pixels), and the
# client area starts below the caption, inside the modal frame (QK_DIALOG_CLIENT_X/Y pixels).
pick_file() {
    local dialog=$1 name=$2
    local unit_x=${QK_DIALOG_UNIT_X:-6} unit_y=${QK_DIALOG_UNIT_Y:-13}
    local client_x=${QK_DIALOG_CLIENT_X:-3} client_y=${QK_DIALOG_CLIENT_Y:-22}
    xdotool windowfocus --sync "$dialog" type --delay 20 "$name"
    local x=$((client_x + (121 + 112 / 2) * unit_x / 4))
    local y=$((client_y + (132 + 12 / 2) * unit_y / 8))
    xdotool mousemove --window "$dialog" "$x" "$y" click 1
}

# --- the prefix and the display ---------------------------------------------------------------
wine_up
mkdir -p "$WINEPREFIX/drive_c/sounds"
if command -v sox >/dev/null; then
    sox -n -r 8000 -b 16 -c 1 "$WINEPREFIX/drive_c/sounds/beep.wav" synth 0.1 sine 440
else
    # 0.1 s of 8-bit silence
    { printf 'RIFF\x44\x03\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x40\x1f\x00\x00\x01\x00\x08\x00data\x20\x03\x00\x00'
      head -c 800 /dev/zero | tr '\0' '\200'; } >"$WINEPREFIX/drive_c/sounds/beep.wav"
fi
note "prefix ready on $DISPLAY"

# --- 1. the first start writes the six options; 3. "Sync audio" from the system menu ----------
scenario() { note "== $*"; }
scenario "first start writes the options; the system menu's Sync audio writes Sync=1"
before=$failures
rm -f "$ini"
start_player
if ! poll 150 has_key Rehearse; then
    fail "the first start wrote no options: $(cat "$ini" 2>/dev/null)"
else
    for pair in Lock=0 Sync=0 Loop=0 Auto=1 Notify=0 Rehearse=1; do
        key_is "${pair%%=*}" "${pair#*=}" || fail "first start: expected $pair, got '$(key "${pair%%=*}")'"
    done
fi
w=$(main_window)
if [ -z "$w" ]; then
    fail "no main window"
else
    # Alt+Space opens the system menu (its Alt also plays slot 10, harmless). Wine puts an item
    # of its own into every system menu, above the program's; the program's items are counted
    # from the bottom: Up from the first item wraps to the last, "About QK-pex", and six more
    # (Help!, Freeez window, Rehearse, BS_NOTIFY, Startup autoplay; separators are skipped)
    # reach "Sync audio".
    # A menu that was not open yet when the keys came is tried again.
    for try in 1 2 3; do
        shown=$(visible_windows)
        xdotool windowfocus --sync "$w" key alt+space
        poll 30 more_windows_than "$shown"
        xdotool key Up Up Up Up Up Up Up Return
        poll 30 key_is Sync 1 && break
        xdotool key Escape Escape
    done
    key_is Sync 1 || fail "Sync audio: expected Sync=1, got '$(key Sync)'"
    close_and_wait "$w"
fi
[ "$failures" -eq "$before" ] && passed=$((passed + 1))

# --- 2. F3 plays slot 3; the close keeps Last and the placement -------------------------------
scenario "F3 plays the sample of slot 3; closing writes Last=2 and X, Y, W, H"
before=$failures
write_ini '[QK_Pex]' Lock=0 Sync=0 Loop=0 Auto=1 Notify=0 Rehearse=1 'Wave3=C:\SOUNDS\BEEP.WAV' Last=0
start_player
w=$(main_window)
if [ -z "$w" ]; then
    fail "no main window"
else
    xdotool windowfocus --sync "$w" key F3
    close_and_wait "$w"
    key_is Last 2 || fail "expected Last=2, got '$(key Last)'"
    for k in X Y W H; do
        [[ "$(key $k)" =~ ^-?[0-9]+$ ]] || fail "expected a number in $k, got '$(key $k)'"
    done
    key_is Wave3 'C:\SOUNDS\BEEP.WAV' || fail "Wave3 changed: '$(key Wave3)'"
    note "placement X=$(key X) Y=$(key Y) W=$(key W) H=$(key H)"
fi
[ "$failures" -eq "$before" ] && passed=$((passed + 1))

# --- 4. a missing sample: the start-up warning, Enter empties the key -------------------------
scenario "a missing sample gives the start-up WARNING; Enter empties its key"
before=$failures
write_ini '[QK_Pex]' Lock=0 Sync=0 Loop=0 Auto=0 Notify=0 Rehearse=1 'Wave5=C:\SOUNDS\GONE.WAV'
start_player
if ! poll 150 window_shown '^WARNING$'; then
    fail "no WARNING window"
else
    xdotool windowfocus --sync "$(window '^WARNING$')" key Return
    poll 50 key_is Wave5 '' || fail "Wave5 not emptied: '$(key Wave5)'"
    has_key Wave5 || fail "Wave5 was removed instead of emptied"
    w=$(main_window)
    if [ -z "$w" ]; then
        fail "no main window after the warning"
    else
        close_and_wait "$w"
    fi
fi
[ "$failures" -eq "$before" ] && passed=$((passed + 1))

# --- 5. a right-click and the picker assign a file to slot 1 ----------------------------------
scenario "a right-click and the picker assign a file to slot 1"
# grep reads windres's output to its end: with -q it would stop at the match, and windres,
# writing the rest into a closed pipe, would fail the pipeline (pipefail) now and then.
if ! "$windres" -i "$exe" -O rc 2>/dev/null | grep -E '^"?NTFS"? DIALOG' >/dev/null; then
    fail "the executable has no dialog resource \"NTFS\""
else
    before=$failures
    # The slot already names a file in C:\sounds, so the picker opens there; the name typed
    # replaces the selected one, and the default extension is forced onto it.
    write_ini '[QK_Pex]' Lock=0 Sync=0 Loop=0 Auto=0 Notify=0 Rehearse=0 'Wave1=C:\sounds\beep.wav'
    start_player
    w=$(main_window)
    if [ -z "$w" ]; then
        fail "no main window"
    else
        eval "$(xdotool getwindowgeometry --shell "$w")"
        # The middle of the first button: the top-left quarter of the top third.
        xdotool mousemove --window "$w" $((WIDTH / 8)) $((HEIGHT / 6)) click 3
        if ! poll 100 window_shown '^Pick WAV-file to assign\.\.\.$'; then
            fail "no picker dialog after the right-click"
        else
            pick_file "$(window '^Pick WAV-file to assign\.\.\.$')" 'BEEP.WAV'
            poll 50 key_is Wave1 'C:\sounds\BEEP.wav' || fail "expected Wave1=C:\\sounds\\BEEP.wav, got '$(key Wave1)'"
        fi
        close_and_wait "$w"
    fi
    [ "$failures" -eq "$before" ] && passed=$((passed + 1))
fi

# --- 6. a bank file with lone CRs loads the same slots as on the stand-in ----------------------
scenario "Load QK-file reads a bank whose lines hold lone CRs (one inside the mark) as without them"
before=$failures
# Every CR is dropped wherever it stands: the mark, two sample lines, then an empty line that
# ends the list (the line after it is not read). tests/test_bank.cpp's
# Bank.EveryCarriageReturnIsDropped reads the same kind of file on the stand-in.
printf '!Fu\rck\r\r\nC:\\sounds\\be\rep.wav\n\rC:\\sou\rnds\\beep.wav\r\n\r\nC:\\sounds\\beep.wav\n' \
    >"$WINEPREFIX/drive_c/sounds/SHOW.QK"
write_ini '[QK_Pex]' Lock=0 Sync=0 Loop=0 Auto=0 Notify=0 Rehearse=0 '[QK_Wav]' 'Savefile=C:\sounds\SHOW.QK'
start_player
w=$(main_window)
if [ -z "$w" ]; then
    fail "no main window"
else
    # "Load QK-file" is the ninth item from the bottom of the system menu (see scenario 1).
    for try in 1 2 3; do
        shown=$(visible_windows)
        xdotool windowfocus --sync "$w" key alt+space
        poll 30 more_windows_than "$shown"
        xdotool key Up Up Up Up Up Up Up Up Up Return
        poll 50 window_shown '^Pick QK-file to load\.\.$' && break
        xdotool key Escape Escape
    done
    if ! window_shown '^Pick QK-file to load\.\.$'; then
        fail "no picker dialog after Load QK-file"
    else
        pick_file "$(window '^Pick QK-file to load\.\.$')" 'SHOW.QK'
        poll 300 key_is Wave2 'C:\sounds\beep.wav' || fail "expected Wave2=C:\\sounds\\beep.wav, got '$(key Wave2)'"
        key_is Wave1 'C:\sounds\beep.wav' || fail "expected Wave1=C:\\sounds\\beep.wav, got '$(key Wave1)'"
        has_key Wave3 && fail "the line after the empty one was read: Wave3='$(key Wave3)'"
        for title in '^WARNING$' '^Error$' "can't"; do
            window_shown "$title" && fail "a message box came up: $title"
        done
    fi
    close_and_wait "$w"
fi
[ "$failures" -eq "$before" ] && passed=$((passed + 1))

[ -s "$tmp/player.log" ] && note "player output: $(tr '\n' ' ' <"$tmp/player.log")"
note "done"
echo "wine: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
