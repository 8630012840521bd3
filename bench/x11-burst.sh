#!/usr/bin/env bash
# kavelo_bench's x11-burst section in an X session of its own: Xvfb with one
# 3840x2160 screen and openbox, the bench on Qt's xcb platform. Stops the
# server and window manager it started, and only those, when done.
#   bench/x11-burst.sh [display number, default 71] [kavelo_bench arguments...]
# e.g. bench/x11-burst.sh 72 --bursts 7
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench=${KAVELO_BENCH:-$root/build/kavelo_bench}
number=${1:-71}
shift || true
display=":$number"

if [[ -e /tmp/.X11-unix/X$number ]]; then
    echo "display $display is in use" >&2
    exit 1
fi
Xvfb "$display" -screen 0 3840x2160x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
manager=
cleanup() {
    [[ -n $manager ]] && kill "$manager" 2>/dev/null || true
    kill "$server" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT
for ((i = 0; i < 100; i++)); do
    DISPLAY=$display xset q >/dev/null 2>&1 && break
    sleep 0.1
done
DISPLAY=$display openbox >/dev/null 2>&1 &
manager=$!
# openbox has taken the screen once it names its check window on the root
# (xprop: x11-utils, which bench/setup.sh installs).
for ((i = 0; i < 200; i++)); do
    DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
# Their processor time is counted with the program's in each burst.
DISPLAY=$display QT_QPA_PLATFORM=xcb KAVELO_BENCH_X_PIDS="$server $manager" "$bench" x11-burst "$@"
