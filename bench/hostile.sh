#!/usr/bin/env bash
# Generates the crafted pictures (bench/make-hostile-pictures.py) and decodes
# each in a process of its own with kavelo_bench --decode, printing per file:
# decoded or refused, wall time and the decode's peak memory growth. A decode
# still running after LIMIT seconds (default 120) is stopped and shown as such.
# The inputs the fuzzer found slow or oversized (fuzz/regressions/) follow.
#   bench/hostile.sh [BUILD_FOLDER] [LIMIT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
limit=${2:-120}
pictures="$build/hostile-pictures"
if [[ ! -f $pictures/done ]]; then
    /usr/bin/python3 "$root/bench/make-hostile-pictures.py" "$pictures" >/dev/null
    touch "$pictures/done"
fi
printf '%-34s %12s %11s  %s\n' file "wall time" "peak grew" outcome
for file in "$pictures"/*.jpg "$pictures"/*.bmp "$pictures"/*.tif "$root"/fuzz/regressions/*; do
    if ! QT_QPA_PLATFORM=offscreen timeout "$limit" "$build/kavelo_bench" --decode "$file"; then
        printf '%-34s %12s %11s  %s\n' "$(basename "$file")" ">${limit} s" - "stopped, still decoding"
    fi
done
