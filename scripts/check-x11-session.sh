#!/usr/bin/env bash
# Checks the player's hold on an X11 desktop with the real program under
# Xvfb and openbox: the X server's screen saver stays off during a show and
# comes on with only the explorer open (the control), the pointer hides over
# the resting show and comes back when moved, and the player opens on the
# explorer's monitor of two (one Xvfb screen split with xrandr). Fails on
# any miss; screenshots go to build/desktop-checks/.
#   scripts/check-x11-session.sh [path/to/kavelo]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=$(realpath "${1:-$root/build/kavelo}")
out="$root/build/desktop-checks"
mkdir -p "$out"
rm -f "$out/x11-failure.png"
pictures=$(mktemp -d)
trap 'rm -rf "$pictures"' EXIT
for i in 1 2 3 4; do
    convert -size 800x600 "xc:rgb($((i * 50)),90,140)" -fill white -pointsize 200 \
        -gravity center -annotate +0+0 "$i" "$pictures/slide$i.jpg"
done
export KAVELO_PROGRAM=$program KAVELO_PICTURES=$pictures KAVELO_OUT=$out
export KAVELO_PROBE="$root/scripts/x11-probe.py"

session() {
    # -noreset: the server must outlive openbox's restarts between parts.
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" bash -c "$1"
}

# Shared by both parts: polling helpers and the program's start.
helpers='
set -euo pipefail
fail() { echo "FAIL: $*" >&2; import -window root "$KAVELO_OUT/x11-failure.png" || true; exit 1; }
# Polls a command until it prints the wanted word; fails after the tries.
await() {
    local want=$1 tries=$2 what=$3; shift 3
    for ((i = 0; i < tries; i++)); do
        [[ $("$@") == "$want" ]] && return 0
        sleep 0.25
    done
    fail "$what: still not $want"
}
# The probe must keep printing the word for the whole time.
holds() {
    local want=$1 tries=$2 what=$3; shift 3
    for ((i = 0; i < tries; i++)); do
        got=$("$@")
        [[ $got == "$want" ]] || fail "$what: $got"
        sleep 0.25
    done
}
# A window named so, looked for again until it shows: the --sync of xdotool
# stops on a window that goes while it looks (the splash).
find() {
    local id
    for ((i = 0; i < 120; i++)); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
        [[ -n $id ]] && { echo "$id"; return 0; }
        sleep 0.25
    done
    fail "no window named $1"
}
start() {
    "$KAVELO_PROGRAM" "$KAVELO_PICTURES"/slide*.jpg &
    pid=$!
    explorer=$(find "^Kavelo - Explorer$")
}
slideshow() {
    xdotool windowactivate --sync "$explorer" key alt+s
    player=$(find "^(Image|.* Forwards)$")
}
# Esc in the player ends the program.
finish() {
    xdotool windowactivate --sync "$player" key Escape
    for ((i = 0; i < 40; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        fail "Esc did not end the program"
    fi
    wait "$pid" || fail "the program ended with status $?"
}
'

echo "--- screen saver and pointer"
session "$helpers"'
openbox & sleep 0.5
start
xset s 3 0
await on 40 "the screen saver with only the explorer open" "$KAVELO_PROBE" saver
echo "with only the explorer open the screen saver came on (control)"
slideshow
xdotool mousemove 960 540
# The saver is looked at together with the caption, which each step sets.
saverAndCaption() { xdotool getwindowname "$player" >>"$KAVELO_OUT/x11-captions.txt"; "$KAVELO_PROBE" saver; }
: >"$KAVELO_OUT/x11-captions.txt"
holds off 28 "the screen saver during the show" saverAndCaption
shown=$(sort -u "$KAVELO_OUT/x11-captions.txt" | grep -c Forwards || true)
((shown >= 3)) || fail "the timer stepped through $shown pictures only"
echo "during 7 s of show the screen saver stayed off; the timer showed $shown pictures"
await blank 20 "the pointer after 2 s of rest" "$KAVELO_PROBE" cursor
import -window root "$KAVELO_OUT/x11-show.png"
# Moved a little before every look: on a busy machine a single move may
# be seen late, and two seconds later the pointer rests again.
moved() { xdotool mousemove_relative -- 3 2; "$KAVELO_PROBE" cursor; }
await visible 20 "the pointer after a movement" moved
xdotool key Return
await blank 4 "the pointer after Enter" "$KAVELO_PROBE" cursor
echo "the pointer hid after its rest, came back when moved and hid at Enter"
xdotool key alt+F4
await on 40 "the screen saver after the player closed" "$KAVELO_PROBE" saver
echo "with the player closed the screen saver came on again"
slideshow
finish
'

echo "--- the player on the explorer's monitor"
session "$helpers"'
xrandr --setmonitor LEFT 960/254x1080/286+0+0 screen >/dev/null
xrandr --setmonitor RIGHT 960/254x1080/286+960+0 none >/dev/null
xrandr --listmonitors
openbox & sleep 0.5
for at in 100 1100; do
    start
    xdotool windowmove --sync "$explorer" "$at" 100
    slideshow
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$player")"
    echo "explorer at x $at: player at x $X, $WIDTH x $HEIGHT"
    if ((at < 960)); then left=0; else left=960; fi
    ((X >= left && X < left + 960 && WIDTH <= 960 && WIDTH > 900)) ||
        fail "the player is not maximized on the explorer monitor"
    [[ $at -lt 960 ]] || import -window root "$KAVELO_OUT/x11-right-monitor.png"
    finish
done
'
echo "X11 session checks passed"
