#!/usr/bin/env bash
# Installs what building, running and testing Kavelo needs on Debian 12, then
# configures and builds into ./build. Run by run.sh, test.sh and package.sh;
# the Debian packages named as arguments are installed as well. With
# --packages-only it stops after the packages (the sanitized and fuzz builds
# use folders of their own).
set -euo pipefail

packages_only=false
extra=()
for argument in "$@"; do
    if [[ $argument == --packages-only ]]; then
        packages_only=true
    else
        extra+=("$argument")
    fi
done

packages=(
    g++ cmake make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libgl-dev
    libtiff-dev libtiff-tools libjpeg62-turbo-dev liblcms2-dev libxcb1-dev
    # The newer formats (PNG, GIF, WebP, HEIC/AVIF, JPEG XL) and the decode
    # helper's sandbox.
    libpng-dev libgif-dev libwebp-dev libheif-dev libavif-dev libjxl-dev libseccomp-dev
    # The X screen saver's suspend (loaded at run time on X11 only), and Qt's
    # Wayland platform plugin.
    libxss-dev qt6-wayland
    # kavelo_bench's burst in a real X session sends its keys through XTest.
    libxtst-dev
    xvfb xauth xdotool imagemagick openbox
    # The desktop session's tests: a bus of their own, the X server's screen
    # saver and monitors. The compositors' check names its own packages.
    dbus-daemon x11-xserver-utils
    fonts-dejavu-core fonts-liberation
    # The formatting check.
    clang-format
    # Sanitized and fuzz builds, and the generators of their test pictures.
    clang-14 libclang-rt-14-dev python3 python3-pil libjpeg-turbo-progs libtiff-tools
    # The encoders and reference decoders of the newer formats.
    libheif-examples libavif-bin webp libjxl-tools
    # The colour check: lcms2's own converters and the profiles its pictures are made in.
    liblcms2-utils colord-data icc-profiles-free libgs-common
    "${extra[@]}"
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
        echo "Kavelo needs these Debian packages. Install them with:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
fi

$packages_only && exit 0

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
