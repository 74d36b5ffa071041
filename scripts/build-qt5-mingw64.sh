#!/usr/bin/env bash
# Builds Qt 5.15.8 (qtbase and qtsvg) for 64-bit Windows with Debian's MinGW-w64 cross
# compiler, from the upstream source in Debian bookworm's own source package,
# into PREFIX. About 20-40 minutes on 2 cores; scripts/build-windows.sh runs
# it only when no built Qt is at hand (the variable, the cache, the shared
# archive). With --pack, also packs PREFIX as qt5-mingw64-5.15.8.tar.xz in the
# working folder, the form the shared archive has.
# Usage: build-qt5-mingw64.sh PREFIX [--pack]     (apt-get runs with sudo when not root)
set -euo pipefail
prefix=$(realpath -m "$1")
work=${WORK:-/var/tmp/qt5-mingw64-build}
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
mkdir -p "$work/apt/lists/partial" "$work/build"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev make perl python3 >/dev/null
# A deb-src entry of its own, for the archive this machine already uses, so
# that the machine's apt configuration stays as it is.
uri=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
[ -n "$uri" ] || uri=$(awk '$1 == "deb" && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$uri" ] || { echo "no Debian archive found in the apt configuration" >&2; exit 1; }
printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" > "$work/apt/src.sources"
apt_src=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$work/apt" -o Dir::State::Lists="$work/apt/lists")
apt-get "${apt_src[@]}" update -qq
(cd "$work" && apt-get "${apt_src[@]}" source --download-only qtbase-opensource-src qtsvg-opensource-src >/dev/null)
tar -xf "$work"/qtbase-opensource-src_5.15.8+dfsg.orig.tar.xz -C "$work"
src=$work/qtbase-everywhere-src-5.15.8
cd "$work/build"
# -no-feature-tabletevent: Debian's source leaves out src/3rdparty/wintab,
# which the Windows platform plug-in needs only for tablets. -no-opengl:
# raster widgets are all the program uses. Bundled zlib, libpng, libjpeg,
# PCRE2, HarfBuzz and FreeType: nothing of the kind exists for MinGW here.
"$src/configure" -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
    -prefix "$prefix" -opensource -confirm-license -release -shared -nomake examples -nomake tests \
    -no-opengl -no-dbus -no-icu -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype \
    -no-sql-sqlite -no-sql-odbc -no-feature-sql -no-feature-testlib_selfcover -no-feature-tabletevent -silent
make -j"$(nproc)"
make -j"$(nproc)" install
# Qt SVG (Qt5Svg.dll and the qsvgicon icon engine, with the qsvg image
# format), built with the qmake just installed: the bundled icons are SVG.
tar -xf "$work"/qtsvg-opensource-src_5.15.8*.orig.tar.xz -C "$work"
mkdir -p "$work/build-svg" && cd "$work/build-svg"
"$prefix/bin/qmake" "$(ls -d "$work"/qtsvg-everywhere-src-5.15.8*)"
make -j"$(nproc)"
make -j"$(nproc)" install
if [ "${2:-}" = "--pack" ]; then
    tar -cJf "$work/qt5-mingw64-5.15.8.tar.xz" -C "$(dirname "$prefix")" "$(basename "$prefix")"
    echo "Archive: $work/qt5-mingw64-5.15.8.tar.xz"
fi
echo "Qt for MinGW-w64 in $prefix"
