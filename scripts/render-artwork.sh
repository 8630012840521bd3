#!/usr/bin/env bash
# Renders the program's pictures from their SVG sources in resources/artwork:
# the hicolor icons, and every button picture, icon, banner and small picture
# at their own size and at twice it (the "@2x" files Qt picks on HiDPI
# screens). The results are kept in the repository, so building needs
# neither tool; run this after changing a source. Needs librsvg2-bin and
# imagemagick (apt-get install librsvg2-bin imagemagick).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
art="$root/resources/artwork"
icons="$root/resources/icons"
images="$root/resources/images"

png() { # source size output
    rsvg-convert -w "$2" -h "$2" "$art/$1.svg" -o "$3"
    # Fixed metadata so a re-run yields the same bytes.
    convert "$3" -strip -define png:exclude-chunks=date,time "$3"
}
scaled() { # source scale output
    rsvg-convert -z "$2" "$art/$1.svg" -o "$3"
}

for size in 16 24 32 48 64 128 256; do
    mkdir -p "$icons/hicolor/${size}x${size}"
    png com.example.Kavelo "$size" "$icons/hicolor/${size}x${size}/com.example.Kavelo.png"
done
png com.example.Kavelo 16 "$icons/kavelo16.png"
png com.example.Kavelo 32 "$icons/kavelo.png"
png com.example.Kavelo 64 "$icons/kavelo@2x.png"
# The Slideshow button shows the program's own mark.
png com.example.Kavelo 16 "$icons/slideshow.png"
png com.example.Kavelo 32 "$icons/slideshow@2x.png"
for button in load save selectall remove; do
    png "$button" 16 "$icons/$button.png"
    png "$button" 32 "$icons/$button@2x.png"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for scale in 1 2; do
    suffix=$([[ $scale == 2 ]] && echo "@2x" || true)
    scaled banner "$scale" "$tmp/banner.png"
    convert "$tmp/banner.png" -background white -flatten -strip -quality 92 \
        "$images/banner$suffix.jpg"
    scaled small "$scale" "$tmp/small.png"
    convert "$tmp/small.png" -background white -flatten -strip -type TrueColor \
        "BMP3:$images/small$suffix.bmp"
done
echo "Rendered the artwork into resources/icons and resources/images."
