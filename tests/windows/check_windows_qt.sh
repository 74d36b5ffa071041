#!/usr/bin/env bash
# scripts/windows-qt.sh and the cache of Qt for MinGW: a copy unpacked from
# an archive older than Qt SVG is refreshed from the archive at hand, and a
# complete copy is taken as it is. The archive is a small stand-in of the
# shared one, with the files the script looks for.
# Usage: check_windows_qt.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/keystrel-windows-qt.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0 cases=0 case_failed=0
fail() { echo "FAIL: $*"; case_failed=1; }
# Closes the case before the next one (and the last one).
next_case() { cases=$((cases + 1)); failures=$((failures + case_failed)); case_failed=0; }

# A prefix with qtbase's marks, and with Qt SVG's when asked.
make_qt() {
    mkdir -p "$1/lib/cmake/Qt5" "$1/bin"
    touch "$1/lib/cmake/Qt5/Qt5Config.cmake" "$1/bin/Qt5Core.dll"
    if [ "$2" = with-svg ]; then
        mkdir -p "$1/lib/cmake/Qt5Svg" "$1/plugins/iconengines"
        touch "$1/lib/cmake/Qt5Svg/Qt5SvgConfig.cmake" "$1/bin/Qt5Svg.dll" "$1/plugins/iconengines/qsvgicon.dll"
    fi
}
make_qt "$work/archive/qt5-mingw64" with-svg
tar -cJf "$work/qt5-mingw64-5.15.8.tar.xz" -C "$work/archive" qt5-mingw64
cache=$work/cache/keystrel/qt5-mingw64-5.15.8
run() { XDG_CACHE_HOME=$work/cache KEYSTREL_QT_WINDOWS="" KEYSTREL_QT_ARCHIVE=$work/qt5-mingw64-5.15.8.tar.xz \
    "$source_dir/scripts/windows-qt.sh" --no-build 2>"$work/stderr"; }

# The cache as the older archive left it: no Qt SVG.
make_qt "$cache" without-svg
touch "$cache/from-the-older-archive"
found=$(run) || fail "windows-qt.sh failed on a cache without Qt SVG: $(cat "$work/stderr")"
[ "$found" = "$cache" ] || fail "printed '$found', not the cache $cache"
[ -f "$cache/plugins/iconengines/qsvgicon.dll" ] || fail "the cache without Qt SVG was taken as it was"
[ ! -e "$cache/from-the-older-archive" ] || fail "the refreshed cache kept a file of the older copy"
grep -q "holds no Qt SVG" "$work/stderr" || fail "the refresh was not said: $(cat "$work/stderr")"

next_case
# A complete cache is used as it is, without unpacking.
touch "$cache/kept"
found=$(run) || fail "windows-qt.sh failed on a complete cache"
[ "$found" = "$cache" ] && [ -e "$cache/kept" ] || fail "a complete cache was unpacked again"

next_case
# Without Qt SVG and with no archive, nothing is offered.
rm -rf "$cache" && make_qt "$cache" without-svg
rm "$work/qt5-mingw64-5.15.8.tar.xz"
if found=$(run); then fail "a cache without Qt SVG was offered when no archive could refresh it: '$found'"; fi

next_case
echo "$((cases - failures)) passed, $failures failed"
[ $failures -eq 0 ]
