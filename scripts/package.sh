#!/usr/bin/env bash
# Builds the Debian package of Kavelo into ./build, checks it and what it
# installs (lintian, desktop-file-validate, appstreamcli), and prints its path.
# Install it with: sudo apt install ./build/kavelo_<version>_amd64.deb
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# dpkg-dev and file let CPack compute the package's dependencies from the
# binary; the others check the result.
"$root/scripts/setup.sh" dpkg-dev file lintian desktop-file-utils appstream
build="$root/build"

(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/kavelo_${version}_$(dpkg --print-architecture).deb"
[[ -f $deb ]] || { echo "CPack made no $deb" >&2; exit 1; }

staged=$(mktemp -d)
trap 'rm -rf "$staged"' EXIT
dpkg-deb -x "$deb" "$staged"
desktop-file-validate "$staged/usr/share/applications/com.example.Kavelo.desktop"
appstreamcli validate --no-net "$staged/usr/share/metainfo/com.example.Kavelo.metainfo.xml"
# Errors fail the build; warnings are shown.
lintian --fail-on error "$deb"

echo "Package: $deb"
