# Sourced by the Wine runs (tests/wine/run.sh, tests/conformance/run.sh): a private Xvfb display
# and one Wine prefix for the whole run, in the temporary folder $tmp, set up as the program
# needs it: Windows version "win95" (the program refuses anything but platform 1), unmanaged X11
# windows (no window manager runs), the silent audio driver and Wine's own fonts.
#
# wine_tools      sets $wine and $wineserver; a missing Wine, wineserver, Xvfb or xdotool
#                 fails the run (exit 1): these are installed by scripts/setup.sh
# wine_up         starts Xvfb and the prefix's wine server and makes the prefix
# wine_down       ends this run's player, wine server and Xvfb (nothing else) and removes $tmp
# poll N CMD...   runs CMD every tenth of a second until it succeeds, at most N times

find_tool() {
    local name
    for name in "$@"; do
        if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
        if [ -x "/usr/lib/wine/$name" ]; then echo "/usr/lib/wine/$name"; return 0; fi
    done
    return 1
}

wine_tools() {
    wine=$(find_tool wine64 wine) || { echo "FAIL: Wine is not installed (scripts/setup.sh installs wine64)"; exit 1; }
    wineserver=$(find_tool wineserver64 wineserver) || { echo "FAIL: wineserver is not installed"; exit 1; }
    command -v Xvfb >/dev/null || { echo "FAIL: Xvfb is not installed (scripts/setup.sh installs xvfb)"; exit 1; }
    command -v xdotool >/dev/null || { echo "FAIL: xdotool is not installed (scripts/setup.sh installs it)"; exit 1; }
}

poll() {
    local tries=$1
    shift
    while ! "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -le 0 ] && return 1
        sleep 0.1
    done
}

xvfb_pid=""
server_pid=""
player_pid=""

wine_down() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null
    # Ends this prefix's wine server and whatever still runs in the prefix, nothing else.
    if [ -n "$server_pid" ]; then
        "$wineserver" -k 2>/dev/null
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$tmp"
}

wine_up() {
    export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME=$tmp
    unset WINEARCH WINESERVER
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$tmp/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    poll 100 test -s "$tmp/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
    export DISPLAY=:$(head -1 "$tmp/display")

    # The prefix's wine server, kept alive for the whole run (a start then takes 0.3 s, not 1.5 s).
    mkdir -p "$WINEPREFIX"
    "$wineserver" -f -p >/dev/null 2>&1 &
    server_pid=$!
    "$wine" wineboot -i >"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log"; echo "FAIL: wineboot"; exit 1; }
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    cat >"$tmp/setup.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine]
"Version"="win95"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"=""
REG
    "$wine" regedit /S "$(printf 'Z:%s' "$tmp/setup.reg" | tr / '\\')"
}
