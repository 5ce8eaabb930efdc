#!/usr/bin/env bash
# Takes the README's pictures: Skylark under Xvfb inside the test network (answering, slow,
# dropping, silent and unreachable hosts), with a window manager (openbox) so that windows and
# dialogs wear their title bars as on a desktop, written palette-reduced to docs/.
#   tools/screenshots.sh            (as root; builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --inside ]; then
    for p in xvfb xauth imagemagick xdotool x11-utils openbox; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p"
    done
    tools/setup.sh build
    exec tests/netkit/netkit.sh --responder build/tests/netkit_responder -- xvfb-run -a -s "-screen 0 1280x800x24" "$0" --inside
fi

home="$(mktemp -d)"
pid="" wm=""
trap 'kill $pid $wm 2>/dev/null || true; rm -rf "$home"' EXIT
HOME="$home" openbox >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
dta="$home/Documents/Corvid/Skylark"
mkdir -p "$dta/LST" "$dta/Sessions"
printf '[Section-Window]\nSaveFormSize=1\nSaveFormPosition=1\nTop=0\nLeft=0\nHeight=640\nWidth=1180\n[Section-Settings]\nAutoStartPinging=1\nCurrentPage=1\n' >"$dta/Skylark.INI"
printf 'gateway.example\r\n10.77.2.2\r\n10.77.4.20\r\n10.77.4.100\r\n10.77.4.50\r\n10.77.3.2\r\n10.77.9.9\r\n10.77.4.60\r\n127.0.0.1\r\n' >"$dta/LST/AutoSaveList.txt"
{
    printf '[Screen]\nPreset=T:0 | L:0 | H:640 | W:1180\n[Frame]\nCount=4\n[FrameColumn2]\nVisible=1\n[Frame2]\nCount=4\n'
    i=0; for h in 10.77.2.2 10.77.4.20 10.77.4.100 10.77.4.50; do
        printf '[Frame_%d]\nHostEditText=%s\nSpinEditValue=60\nBottomRightPanelVisible=1\nAutoStart=1\n' $i $h; i=$((i + 1)); done
    i=0; for h in 127.0.0.1 10.77.4.60 10.77.3.2 10.77.9.9; do
        printf '[Frame2_%d]\nHostEditText=%s\nSpinEditValue=60\nBottomRightPanelVisible=1\nAutoStart=1\n' $i $h; i=$((i + 1)); done
} >"$dta/Sessions/Session_AutoSave.txt"

HOME="$home" XDG_DOCUMENTS_DIR="$home/Documents" build/src/skylark &
pid=$!
sleep 45  # let the charts fill
id=$(xdotool search --onlyvisible --name '^Skylark$' | head -1)
# The main window with its frame: the client's place less the frame's extents.
shot() {
    local x y w h l r t b
    eval "$(xwininfo -id "$id" | awk '/Absolute upper-left X/{print "x="$4} /Absolute upper-left Y/{print "y="$4}
                                      /Width:/{print "w="$2} /Height:/{print "h="$2}')"
    read -r l r t b < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= *//; s/,//g')
    import -window root -crop "$((w + l + r))x$((h + t + b))+$((x - l))+$((y - t))" +repage -colors 96 "PNG8:docs/$1"
}
shot board.png
# Points are in the main window's client area.
xdotool mousemove --window "$id" 40 120 click 1 sleep 0.3 mousemove --window "$id" 40 120 click 3 sleep 0.8
shot hostlist.png
xdotool key Escape sleep 0.3 mousemove --window "$id" 150 8 click 1 sleep 1.5
import -window root +repage -colors 96 "PNG8:docs/settings.png"
kill -TERM "$pid"; wait "$pid" || true
ls -la docs/*.png
