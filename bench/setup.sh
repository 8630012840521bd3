#!/usr/bin/env bash
# Installs what the benchmarks need beyond building Kavelo (the libraries'
# own tools, feh to compare with, the X tools that drive both), then builds
# through scripts/setup.sh.
set -euo pipefail

packages=(
    feh libjpeg-turbo-progs libtiff-tools
    xvfb xauth xdotool x11-utils openbox python3 python3-xlib
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    if [[ $(id -u) -eq 0 ]]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "The benchmarks need these Debian packages. Install them with:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
fi

"$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/scripts/setup.sh"
