#!/usr/bin/env bash
# The window's geometry under a real window manager: Skylark is started three times under Xvfb
# with openbox, each time on a fresh X server, and closed as a user closes it (the window
# manager's close), so that the close writes the autosaved session and Skylark.INI. Nothing
# changes during a run, so the session's Preset and the settings file's geometry must come out
# as the first run left them: the session's preset is applied as outer geometry once the window
# has its frame, and wins over the settings file's. The first run also opens the file chooser
# and checks that its stored size is its outer size, frame included.
# With SWITCHES=1 the settings file's save-size/position switches are on (another geometry).
#   [SWITCHES=1] tests/window/window_cycles.sh path/to/skylark
# Exit status 77 (skipped) when Xvfb, openbox or xdotool is missing.
set -euo pipefail
bin=$(realpath "${1:?path to skylark}")
for tool in Xvfb openbox xdotool xprop; do
    if ! command -v "$tool" >/dev/null; then
        # CI installs every tool through tools/setup.sh: a missing one there is a failure.
        [ "${CI:-}" = true ] && { echo "$tool is not installed" >&2; exit 1; }
        echo "$tool is not installed: skipped" >&2
        exit 77
    fi
done
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
home="$work/home"
dta="$home/Documents/Corvid/Skylark"
mkdir -p "$dta/Sessions"
on=${SWITCHES:-0}
printf '[Section-Window]\r\nSaveFormSize=%s\r\nSaveFormPosition=%s\r\nTop=50\r\nLeft=60\r\nHeight=300\r\nWidth=500\r\nSelectFileHeight=275\r\nSelectFileWidth=525\r\n[Section-Settings]\r\nAutoStartPinging=1\r\n' \
    "$on" "$on" >"$dta/Skylark.INI"
printf '[Screen]\r\nPreset=T:100 | L:100 | H:400 | W:700\r\n[Frame]\r\nCount=1\r\n[FrameColumn2]\r\nVisible=0\r\n[Frame2]\r\nCount=0\r\n[Frame_0]\r\nHostEditText=127.0.0.1\r\nSpinEditValue=180\r\nBottomRightPanelVisible=0\r\nAutoStart=0\r\n' \
    >"$dta/Sessions/Session_AutoSave.txt"

values() {
    local preset geometry
    preset=$(grep -a '^Preset=' "$dta/Sessions/Session_AutoSave.txt" | tr -d '\r')
    geometry=$(grep -aE '^(Top|Left|Height|Width)=' "$dta/Skylark.INI" | tr -d '\r' | tr '\n' ' ')
    echo "$preset  INI: $geometry"
}

# The first window named exactly $1 that shows, waited for up to 10 s.
find_window() {
    local w=""
    for _ in $(seq 100); do
        w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.1
    done
    return 1
}

# A window's outer size, its client size and the frame the window manager gave it: "W x H".
outer_size() {
    local size ext
    size=$(xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    ext=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)/\1 \2 \3 \4/p')
    set -- $size $ext
    echo "$(($1 + $3 + $4)) x $(($2 + $5 + $6))"
}

expected="Preset=T:100 | L:100 | H:400 | W:700  INI: Top=100 Left=100 Height=400 Width=700 "
echo "before:  $(values)"
status=0
for run in 1 2 3; do
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    xvfb=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -1 "$work/display")"
    : >"$work/display"
    openbox >/dev/null 2>&1 &
    pids+=($!)
    wm=$!
    sleep 1
    HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=xcb "$bin" >"$work/run$run.log" 2>&1 &
    pids+=($!)
    app=$!
    win=$(find_window Skylark) || { echo "run $run: no window"; cat "$work/run$run.log"; exit 1; }
    sleep 3 # start-up, and the placement once framed, are over
    echo "run $run: window $(outer_size "$win") outer"
    if [ "$run" = 1 ]; then
        # F10 opens the File menu; its first item is Select List File.
        xdotool windowactivate --sync "$win" key F10 sleep 0.3 key Down sleep 0.3 key Return
        chooser=$(find_window 'Select File') || { echo "no file chooser"; exit 1; }
        sleep 1
        got=$(outer_size "$chooser")
        echo "file chooser: $got outer (stored 525 x 275)"
        [ "$got" = "525 x 275" ] || status=1
        xdotool key Escape
        sleep 0.5
    fi
    # The window manager's close (openbox binds Alt+F4 to it): WM_DELETE_WINDOW, as a user's
    # click on the title bar's close button sends. xdotool's windowclose would destroy the
    # window under the program instead.
    xdotool windowactivate --sync "$win" key --clearmodifiers alt+F4
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then
        echo "run $run: still running 10 s after the close"
        status=1
    fi
    kill "$app" "$wm" "$xvfb" 2>/dev/null || true
    wait "$app" "$wm" "$xvfb" 2>/dev/null || true
    now=$(values)
    echo "after $run: $now"
    [ "$now" = "$expected" ] || status=1
done
[ $status -eq 0 ] && echo "unchanged over three runs" || echo "FAILED: the window or the chooser is not where it was put"
exit $status
