#!/usr/bin/env bash
# Prints the prefix of Qt built for MinGW-w64, found in this order:
#   $KEYSTREL_QT_WINDOWS;
#   the user's cache, ${XDG_CACHE_HOME:-~/.cache}/keystrel/qt5-mingw64-5.15.8;
#   ../shared/toolchains/qt5-mingw64-5.15.8.tar.xz beside the source tree
#   ($KEYSTREL_QT_ARCHIVE if set), unpacked into that cache;
#   built from Debian's source into that cache (scripts/build-qt5-mingw64.sh,
#   20-40 minutes), unless --no-build is given.
# A Qt without Qt SVG (a cache unpacked from an older archive) is not taken:
# the cache is refreshed from the archive, or built again.
# Exits 1, printing nothing, when none is at hand.
# Usage: windows-qt.sh [--no-build]
set -euo pipefail
cd "$(dirname "$0")/.."

usable() {
    [ -f "$1/lib/cmake/Qt5/Qt5Config.cmake" ] && [ -f "$1/bin/Qt5Core.dll" ] \
        && [ -f "$1/lib/cmake/Qt5Svg/Qt5SvgConfig.cmake" ] && [ -f "$1/bin/Qt5Svg.dll" ] \
        && [ -f "$1/plugins/iconengines/qsvgicon.dll" ]
}

if [ -n "${KEYSTREL_QT_WINDOWS:-}" ]; then
    usable "$KEYSTREL_QT_WINDOWS" || { echo "KEYSTREL_QT_WINDOWS=$KEYSTREL_QT_WINDOWS holds no Qt for MinGW with Qt SVG" >&2; exit 1; }
    realpath "$KEYSTREL_QT_WINDOWS"
    exit 0
fi

cache=${XDG_CACHE_HOME:-$HOME/.cache}/keystrel/qt5-mingw64-5.15.8
if usable "$cache"; then
    echo "$cache"
    exit 0
fi
[ -d "$cache" ] && echo "$cache holds no Qt SVG (unpacked from an older archive, or incomplete): refreshing it" >&2

archive=${KEYSTREL_QT_ARCHIVE:-../shared/toolchains/qt5-mingw64-5.15.8.tar.xz}
if [ -f "$archive" ]; then
    mkdir -p "$(dirname "$cache")"
    unpack=$(mktemp -d "$(dirname "$cache")/unpack.XXXXXX")
    tar -xJf "$archive" -C "$unpack"
    rm -rf "$cache"
    mv "$unpack/qt5-mingw64" "$cache"
    rm -rf "$unpack"
    usable "$cache" || { echo "$archive did not unpack to a Qt for MinGW with Qt SVG" >&2; exit 1; }
    echo "$cache"
    exit 0
fi

[ "${1:-}" = "--no-build" ] && exit 1
echo "No Qt for MinGW-w64 at hand: building it from Debian's source into $cache (20-40 minutes)" >&2
scripts/build-qt5-mingw64.sh "$cache" >&2
usable "$cache" || exit 1
echo "$cache"
