#!/usr/bin/env bash
# Checks what the desktop makes of an installed Keystrel, on a new user's
# account: installs the build into a temporary prefix, points HOME and the
# XDG folders at temporary folders, and asks xdg-utils and GIO which
# application opens text files, folders and encrypted files. Then, under
# Xvfb, opens an encrypted file with xdg-open (it must be decrypted) and
# compares the window's WM_CLASS with the desktop entry's StartupWMClass,
# and closes the window as a window manager does while a batch runs.
# Checks the AppStream entry and PCManFM's and Caja's actions, then lists
# what a person checks by hand on a real desktop.
# Prints one line per check and fails if any check fails.
# Build directory: $KEYSTREL_BUILD_DIR or build.
set -euo pipefail
cd "$(dirname "$0")/.."

failures=0
check() { # check NAME COMMAND... : passes when COMMAND succeeds
    local name=$1
    shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
not_keystrel() { ! grep -q keystrel <<<"$1"; }
header_gone() { [ "$(head -c 16 "$1")" != "has been encrypt" ]; }

if [ "${1:-}" = "--in-xvfb" ]; then
    # Second stage, inside the virtual display: a real xcb window.
    work=$2 prefix=$3
    unset QT_QPA_PLATFORM
    file=$work/files/report
    xdg-open "$file" >"$work/xdg-open.log" 2>&1 &
    for _ in $(seq 300); do header_gone "$file" && break; sleep 0.1; done
    check "xdg-open of an encrypted file decrypts it" header_gone "$file"
    window=$(xwininfo -root -tree | awk '/"Keystrel": \(/ && !/1x1\+/ {print $1; exit}')
    wm_class=$(xprop -id "${window:-0}" WM_CLASS 2>/dev/null | sed -n 's/.*= "\(.*\)", "\(.*\)"/\2/p')
    startup=$(sed -n 's/^StartupWMClass=//p' "$prefix/share/applications/keystrel.desktop")
    echo "     WM_CLASS class \"$wm_class\", StartupWMClass \"$startup\""
    check "StartupWMClass is the window's class" test -n "$wm_class" -a "$wm_class" = "$startup"
    pid=$(xprop -id "${window:-0}" _NET_WM_PID 2>/dev/null | sed -n 's/.* = //p')
    [ -n "$pid" ] && kill "$pid"
    wait || true

    # The window manager's close (the title bar's button, wmctrl -c) while a
    # 20,000-file batch runs under its progress dialog: the batch stops as
    # 取消 stops it, and the window closes.
    mkdir "$work/many"
    (cd "$work/many" && seq -f 'f%05g.txt' 20000 | xargs touch)
    KEYSTREL_LOG_TO_STDERR=1 "$prefix/bin/keystrel" --encrypt -- "$work/many" 2>"$work/batch.log" &
    batch=$!
    for _ in $(seq 600); do grep -q '开始加密' "$work/batch.log" && break; sleep 0.05; done
    scripts/x11-close-window.py Keystrel >/dev/null || true
    for _ in $(seq 300); do kill -0 "$batch" 2>/dev/null || break; sleep 0.1; done
    closed_and_cancelled() { ! kill -0 "$batch" 2>/dev/null && grep -q '批量加密已取消' "$work/batch.log"; }
    check "the window's close button stops a running batch and closes the window" closed_and_cancelled
    kill "$batch" 2>/dev/null || true
    wait || true
    exit "$failures"
fi

scripts/install-deps.sh test
scripts/install-deps.sh screenshot
build=${KEYSTREL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target Keystrel Hubstone Vaultine keystrel-cli

# No blank in the prefix: xdg-open reads the Exec line split at blanks.
work=$(mktemp -d /tmp/keystrel-desktop-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1

# A new user outside any desktop session.
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION KDE_SESSION_VERSION \
    GNOME_DESKTOP_SESSION_ID MATE_DESKTOP_SESSION_ID WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
export XDG_DATA_DIRS=$prefix/share:/usr/share XDG_RUNTIME_DIR=$work/runtime GIO_USE_VFS=local
mkdir -p "$HOME" "$work/files" && mkdir -m 700 "$XDG_RUNTIME_DIR"

for type in text/plain inode/directory application/octet-stream text/x-python; do
    check "xdg-mime query default $type: $(xdg-mime query default "$type")" \
        not_keystrel "$(xdg-mime query default "$type")"
    check "gio mime $type names no keystrel.desktop" not_keystrel "$(gio mime "$type" 2>&1)"
done

type=application/x-keystrel-encrypted
for name in report letter.txt; do
    printf 'nobody may read this\n' >"$work/files/$name"
    "$prefix/bin/keystrel-cli" -q encrypt "$work/files/$name"
done
content_type() { gio info -a standard::content-type "$1" | sed -n 's/.*standard::content-type: //p'; }
check "xdg-mime query filetype report: $(xdg-mime query filetype "$work/files/report")" \
    test "$(xdg-mime query filetype "$work/files/report")" = "$type"
check "gio info report: $(content_type "$work/files/report")" test "$(content_type "$work/files/report")" = "$type"
check "xdg-mime query default $type: $(xdg-mime query default "$type")" \
    test "$(xdg-mime query default "$type")" = keystrel.desktop
# Not a failure: GIO and Qt take a known name's pattern before the header.
echo "     letter.txt, encrypted: xdg-mime says $(xdg-mime query filetype "$work/files/letter.txt")," \
    "gio says $(content_type "$work/files/letter.txt")"

# What software centres read, and PCManFM's and Caja's actions in order.
metainfo=$(ls "$prefix"/share/metainfo/*.metainfo.xml)
check "appstreamcli validate --no-net $(basename "$metainfo")" appstreamcli validate --no-net "$metainfo"
check "FileManager-Actions menu lists encryption first" \
    grep -qx 'ItemsList=keystrel-encrypt;keystrel-decrypt;' "$prefix/share/file-manager/actions/keystrel.desktop"

xvfb-run -a -s "-screen 0 1280x800x24" "$0" --in-xvfb "$work" "$prefix" || failures=$((failures + $?))

# What only a person can see, on a real desktop with the package installed.
cat <<'STEPS'
     By hand, on a desktop session with the package installed:
     - PCManFM or Caja: right-click a file, then a folder: a "Keystrel" menu
       holds "用 Keystrel 加密" above "用 Keystrel 解密" (zh_CN, zh_TW), "Encrypt
       with Keystrel" above "Decrypt with Keystrel" (other languages; Caja's
       alphabetical sort, if chosen in its preferences, puts Decrypt first).
     - Thunar: the README's custom actions; with "Directories" ticked both also
       show on the empty background, where they act on the folder shown.
     - Keystrel: right-click the text area: 撤消, 剪切, 复制, 粘贴, 全选; 加密文件
       on a desktop without its own file dialog (e.g. plain X with
       QT_QPA_PLATFORMTHEME unset): 查找范围, 文件名称, 取消.
     - Drop a folder of a few thousand files, switch to another window before
       it ends (five seconds or more): a notification "Keystrel" with the
       batch's summary line; none when the Keystrel window stays in front.
     - A software centre (GNOME Software, Discover) lists Keystrel with its
       summary, description and screenshot after `appstreamcli refresh --force`.
STEPS
if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "every check passed"
