#!/usr/bin/env bash
# Takes the pictures of docs/screenshots/ that need the whole program in a
# window manager: Workbay on a virtual display under openbox, driven with
# xdotool and photographed with ImageMagick's import. They are pictures to
# look at, not tests.
#   tools/take-desktop-shots.sh [BUILD_DIR]     (default build/debug)
# Needs xvfb, openbox, xdotool and imagemagick (apt-get install them).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/debug}"
workbay="$build/host/workbay"
out="docs/screenshots"
for tool in Xvfb openbox xdotool import python3; do
    command -v "$tool" >/dev/null || { echo "take-desktop-shots: $tool is missing" >&2; exit 1; }
done
[ -x "$workbay" ] || { echo "take-desktop-shots: $workbay is missing; build it first" >&2; exit 1; }

export ASAN_OPTIONS="strict_string_checks=0:detect_leaks=0"
export QT_QPA_PLATFORM=xcb
display=":57"
home="$(mktemp -d)"
# The history's spill files go to the cache folder: this run's own.
export XDG_CACHE_HOME="$home/cache"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$home"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox &
pids+=($!)
sleep 1

shoot() { sleep "${2:-1}"; import -window root "$out/$1"; echo "take-desktop-shots: $out/$1"; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.6; }
# The main window, maximized on the screen, once it is mapped.
start() {
    WORKBAY_HOME="$home" "$workbay" "$@" &
    pids+=($!)
    for _ in $(seq 100); do
        win=$(xdotool search --onlyvisible --name '^Workbay$' 2>/dev/null | head -1 || true)
        [ -n "$win" ] && break
        sleep 0.1
    done
    xdotool windowsize --sync "$win" 1100 760 windowmove --sync "$win" 20 20
    xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
    sleep 1.5
}
# File > Quit, as a user leaves; killed only if it does not go.
stop() {
    xdotool key --clearmodifiers Escape Escape alt+f q 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "${pids[-1]}" 2>/dev/null || break; sleep 0.1; done
    kill "${pids[-1]}" 2>/dev/null || true
    wait "${pids[-1]}" 2>/dev/null || true
    unset 'pids[-1]'
    sleep 0.5
}

# The host finds the console through its registration in this home.
WORKBAY_HOME="$home" "$workbay" --register "$(cd "$build" && pwd)/plugins/libquillpad2.so"

# A device that greets, logs a few lines and hangs up: the link lost is marked.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 - "$port" "$home/peer-ready" <<'EOF' &
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(1)
open(sys.argv[2], "w").close()
c, _ = s.accept()
for line in [b"QX-200 boot 4.2.7\r\n", b"axis 1 ready\r\n", b"axis 2 ready\r\n", b"> "]:
    c.sendall(line); time.sleep(0.2)
time.sleep(1.0); c.close(); s.close()
EOF
pids+=($!)
for _ in $(seq 50); do [ -e "$home/peer-ready" ] && break; sleep 0.1; done
start --connect "tcp:127.0.0.1:$port"
xdotool mousemove 400 400 click 1
shoot marks.png 3

# SHIFT over a character: the hover window, gone when SHIFT is let go.
xdotool mousemove 200 201
xdotool keydown shift
sleep 0.3
xdotool mousemove 202 202
shoot hover-window.png 1
xdotool keyup shift
sleep 1

# The style editor on a built-in style, its warning answered.
key alt+q
key e
shoot style-editor-warning.png 1
key Return
shoot style-editor.png 1
key Escape
stop

# A sheet that is no style: the footer's note beside the status.
mkdir -p "$home/Quillpad Data"
printf '\x00\x01 not a style sheet\n' >"$home/Quillpad Data/Broken.tss"
start --connect sim:
xdotool mousemove 400 400 click 1
shoot footer-note.png 2
rm "$home/Quillpad Data/Broken.tss"

# F1 in a modal dialog: the guide comes up above it.
key alt+g
key l
sleep 1
key F1
shoot help-over-dialog.png 2
key Escape
key Escape
stop

# A console opened while the current one is maximized opens maximized.
start --connect sim:
# The console's maximize button (the frame's middle button, top right).
xdotool mousemove 642 50 click 1
sleep 1
key alt+f
key n
key Return
shoot new-console-maximized.png 2
stop
