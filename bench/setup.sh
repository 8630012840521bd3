#!/usr/bin/env bash
# Installs what the benchmarks need beyond building Kavelo (the libraries'
# own tools, feh to compare with, the X tools that drive both), then builds;
# scripts/setup.sh installs the packages named to it along with its own.
set -euo pipefail

"$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/scripts/setup.sh" \
    feh libjpeg-turbo-progs libtiff-tools \
    xvfb xauth xdotool x11-utils openbox python3 python3-xlib
