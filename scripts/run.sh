#!/usr/bin/env bash
# Builds Kavelo and starts it. Without a display it runs under Xvfb, saves a
# screenshot of the explorer into the build folder and ends the program.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
program="$root/build/kavelo"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec "$program"
fi

shot="$root/build/explorer-screenshot.png"
echo "No display found: starting Kavelo under Xvfb."
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    program=$1 shot=$2
    "$program" &
    pid=$!
    # The explorer shows once start-up (splash, loading) is over.
    if ! timeout 30 xdotool search --sync --onlyvisible --name "^Kavelo - Explorer$" >/dev/null; then
        echo "The explorer did not appear within 30 seconds." >&2
        kill $pid 2>/dev/null
        exit 1
    fi
    sleep 1
    import -window root "$shot"
    kill $pid
    wait $pid 2>/dev/null || true
' run "$program" "$shot"
echo "Kavelo started and showed its explorer; screenshot: $shot"
