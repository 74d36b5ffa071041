#!/usr/bin/env bash
# Installs the Windows build in a Wine prefix of its own, runs Explorer's
# "用 Keystrel 加密" entry on a file as Explorer runs it (its command line taken
# from the registry) under Xvfb, and saves a picture of the window that opens
# (default docs/windows-explorer-entry.png). Wine cannot show Explorer's menu
# with the user's entries, so the picture is of the program started from one.
# Needs build-win from `scripts/build-windows.sh --test`.
# Usage: screenshot-windows.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=C.UTF-8

if [ "${1:-}" = "--in-xvfb" ]; then
    work=$2 out=$3
    verb=build-win/tests/bin/keystrel_shellverb.exe
    wine "$verb" start '*' Keystrel.Encrypt "$(winepath -w "$work/季度报告.txt")" "$(winepath -w "$work/log")" >/dev/null
    for _ in $(seq 600); do
        grep -q '未处理\|已输出到' "$work/log" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '未处理\|已输出到' "$work/log" || { cat "$work/log" >&2; exit 1; }
    sleep 2 # let the last frame paint
    geometry=$(xwininfo -name Keystrel | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "$out"
    exit 0
fi

out=$(realpath -m "${1:-docs/windows-explorer-entry.png}")
setup=$(ls build-win/Keystrel-*-win64-setup.exe)
scripts/install-deps.sh screenshot
work=$(mktemp -d)
export WINEPREFIX=$work/prefix KEYSTREL_LOG_TO_STDERR=1
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wine "$setup" /S
# Wine's desktop started without a display would keep its windows off it.
wineserver -k
printf 'Keystrel on Windows\n' >"$work/季度报告.txt"
xvfb-run -a -s '-screen 0 1280x800x24' "$0" --in-xvfb "$work" "$out"
echo "$out"
