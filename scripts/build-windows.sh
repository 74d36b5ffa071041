#!/usr/bin/env bash
# Builds Keystrel for 64-bit Windows and assembles
# build-win/Keystrel-<version>-win64.zip. Installs what is missing (MinGW-w64,
# Wine, python3-pefile) and finds Qt for MinGW as scripts/windows-qt.sh says
# (building it from Debian's source when there is none).
# With --test, also runs the Windows tests under Wine, in a Wine prefix of
# this run's own, and lists the tests that do not run there with the reason.
# Usage: build-windows.sh [--test]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows
qt=$(scripts/windows-qt.sh)
tests=OFF
[ "${1:-}" = "--test" ] && tests=ON

cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-x86_64.cmake" -DKEYSTREL_QT_WINDOWS="$qt" \
    -DKEYSTREL_BUILD_TESTS=$tests
cmake --build build-win -j "$(nproc)"
ls build-win/Keystrel-*-win64.zip

[ $tests = ON ] || exit 0
prefix=$(mktemp -d "${TMPDIR:-/tmp}/keystrel-wineprefix.XXXXXX")
cleanup() {
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT
# The overrides skip the Mono and Gecko installers, which nothing here needs.
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
echo "Windows tests that do not run under Wine:"
sed 's/^/    /' build-win/tests/not-run-on-windows.txt
(cd build-win && KEYSTREL_WINEPREFIX=$prefix ctest --output-on-failure -j "$(nproc)")
