#!/usr/bin/env bash
# Times a step of Kavelo's slide show against feh's on the same 20
# camera-like 24-megapixel JPEGs: for each program, presses its
# next-picture key and measures until the window's caption changes.
#
# Assumptions:
# - Runs under its own Xvfb with openbox framing and maximizing the
#   windows, whatever display the caller has: once at 1920 x 1080 x 24 and
#   once at 3840 x 2160 x 24 (SIZES names others).
# - The pictures are the show benchmark's (kavelo_bench show-pictures makes
#   them once into $XDG_CACHE_HOME/kavelo-bench/show, or the folder given
#   as the first argument).
# - Kavelo: tried first with the pictures on its command line (kavelo
#   PICTURE... puts them on the slide list); when the Slideshow button then
#   answers with its empty-list message, the script writes a slide show file
#   and loads it through the Load button and its file dialog instead. The
#   player is paused with Space, then stepped with Enter. Its settings are
#   kept in a scratch XDG_CONFIG_HOME, so the display time is the default.
# - feh: feh --scale-down --geometry of the screen, stepped with space. feh
#   decodes each picture at full size when it is shown; it never decodes
#   ahead.
# - A step is timed from the key press sent through XTEST to the first
#   caption (WM_NAME or _NET_WM_NAME) change seen through PropertyNotify,
#   with SETTLE seconds (default 1.5) between steps, so a program decoding
#   ahead has its next picture ready.
#
# Usage: bench/compare-feh.sh [picture-folder]
#   STEPS=20 SETTLE=1.5: steps per program, seconds between steps
#   SIZES="1920x1080 3840x2160": the screens to run on, one after the other
#   SHOTS=folder: saves a screenshot of each program after its steps
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [[ "${1:-}" != --inside-xvfb ]]; then
    "$root/bench/setup.sh" >/dev/null
    folder=$(QT_QPA_PLATFORM=offscreen "$root/build/kavelo_bench" show-pictures ${1:+--pictures "$1"} 2>/dev/null | tail -n 1)
    [[ -n "$folder" ]] || { echo "could not make the pictures" >&2; exit 1; }
    for size in ${SIZES:-1920x1080 3840x2160}; do
        echo "== screen $size =="
        xvfb-run -a -s "-screen 0 ${size}x24" "$0" --inside-xvfb "$folder" "$size"
    done
    exit 0
fi

folder=$2
size=$3
steps=${STEPS:-20}
settle=${SETTLE:-1.5}
kavelo="$root/build/kavelo"
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

mapfile -t pictures < <(find "$folder" -maxdepth 1 -name 'photo*.jpg' | sort)
((${#pictures[@]} == 20)) || { echo "expected 20 JPEGs in $folder" >&2; exit 1; }

openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Times steps of the window whose id is $1 by pressing key $2; prints one
# step's milliseconds a line.
time_steps() {
    /usr/bin/python3 - "$1" "$2" "$steps" "$settle" <<'PY'
import select, sys, time
from Xlib import X, XK, display
from Xlib.ext import xtest

window_id, key, steps, settle = int(sys.argv[1], 0), sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
d = display.Display()
window = d.create_resource_object("window", window_id)
window.change_attributes(event_mask=X.PropertyChangeMask)
names = {d.intern_atom("WM_NAME"), d.intern_atom("_NET_WM_NAME")}
keycode = d.keysym_to_keycode(XK.string_to_keysym(key))

def caption():
    return window.get_full_text_property(d.intern_atom("_NET_WM_NAME")) or window.get_wm_name()

def drain(seconds):
    end = time.monotonic() + seconds
    while True:
        left = end - time.monotonic()
        if left <= 0:
            return
        if d.pending_events() == 0:
            select.select([d], [], [], left)
        while d.pending_events():
            d.next_event()

def wait_for_change(before, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if d.pending_events() == 0:
            select.select([d], [], [], end - time.monotonic())
        while d.pending_events():
            event = d.next_event()
            if event.type == X.PropertyNotify and event.atom in names:
                now = time.monotonic()
                if caption() != before:
                    return now
    return None

window.set_input_focus(X.RevertToParent, X.CurrentTime)
d.sync()
drain(settle)
for _ in range(steps):
    before = caption()
    start = time.monotonic()
    xtest.fake_input(d, X.KeyPress, keycode)
    xtest.fake_input(d, X.KeyRelease, keycode)
    d.flush()
    changed = wait_for_change(before, 20)
    print("lost" if changed is None else f"{(changed - start) * 1000:.1f}", flush=True)
    drain(settle)
PY
}

wait_window() { # name pattern, seconds
    timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}

# Kavelo.
export XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$XDG_CONFIG_HOME"
player='( Forwards| Backwards|^Image)$'
"$kavelo" "${pictures[@]}" >/dev/null 2>&1 &
pids+=($!)
explorer=$(wait_window '^Kavelo - Explorer$' 30) || { echo "Kavelo's explorer did not appear" >&2; exit 1; }
xdotool windowactivate --sync "$explorer" 2>/dev/null || true
xdotool key alt+s
sleep 1
how="pictures on the command line"
if ! image=$(wait_window "$player" 3); then
    how="a slide show file through the Load dialog"
    # The list was empty: dismiss the message, load a slide show file.
    xdotool key Return
    sleep 0.5
    printf '%s\r\n' "${pictures[@]}" >"$scratch/show.SLD"
    xdotool windowactivate --sync "$explorer" 2>/dev/null || true
    xdotool key alt+l
    sleep 1.5
    xdotool type --delay 5 "$scratch/show.SLD"
    xdotool key Return
    sleep 1
    xdotool windowactivate --sync "$explorer" 2>/dev/null || true
    xdotool key alt+s
    image=$(wait_window "$player" 10) || { echo "Kavelo's player did not appear" >&2; exit 1; }
fi
xdotool windowactivate --sync "$image" 2>/dev/null || true
sleep 1
xdotool key space # pauses the timer: only Enter steps
sleep "$settle"
echo "Kavelo: show started from $how; player $(xdotool getwindowgeometry "$image" | sed -n 's/.*Geometry: //p')"
time_steps "$image" Return >"$scratch/kavelo.txt"
[[ -z "${SHOTS:-}" ]] || import -window root "$SHOTS/kavelo-$size.png"
kill "${pids[-1]}" 2>/dev/null || true
sleep 1

# feh.
feh --scale-down --geometry "$size" "${pictures[@]}" >/dev/null 2>&1 &
pids+=($!)
viewer=$(wait_window '^feh ' 30) || { echo "feh did not appear" >&2; exit 1; }
xdotool windowactivate --sync "$viewer" 2>/dev/null || true
sleep "$settle"
echo "feh: window $(xdotool getwindowgeometry "$viewer" | sed -n 's/.*Geometry: //p')"
time_steps "$viewer" space >"$scratch/feh.txt"
[[ -z "${SHOTS:-}" ]] || import -window root "$SHOTS/feh-$size.png"

/usr/bin/python3 - "$scratch/kavelo.txt" "$scratch/feh.txt" <<'PY'
import statistics, sys
medians = []
for name, path in zip(("Kavelo (Enter)", "feh (space)"), sys.argv[1:]):
    lines = [line.strip() for line in open(path) if line.strip()]
    times = [float(line) for line in lines if line != "lost"]
    lost = len(lines) - len(times)
    print(f"{name:15} steps {len(times):3}  caption changed after: median {statistics.median(times):7.1f} ms, "
          f"least {min(times):7.1f}, most {max(times):7.1f}" + (f"; {lost} lost" if lost else "")
          if times else f"{name}: no step was seen")
    print("                per step: " + " ".join(lines))
    medians.append(statistics.median(times) if times else None)
if None not in medians:
    print(f"per-step median ratio feh / Kavelo: {medians[1] / medians[0]:.2f} "
          f"(Kavelo is {medians[1] / medians[0]:.2f} times as fast)")
PY
