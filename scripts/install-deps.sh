#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Usage: install-deps.sh [run|test|bench|screenshot|package|format|tidy|windows]
set -euo pipefail

# qttranslations5-l10n: Qt's own texts in Chinese, as the window shows them.
packages=(cmake ninja-build g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5svg5 qttranslations5-l10n)
case "${1:-test}" in
    run) packages+=(fonts-wqy-zenhei) ;;
    # dpkg-dev and file: CPack's Debian package and its Depends
    # (dpkg-shlibdeps); desktop-file-utils checks the desktop entries; the
    # MIME database, xdg-utils (with mimetype, which xdg-mime asks outside a
    # desktop) and gio say which types the installed entry opens; appstream
    # validates the AppStream entry; dbus runs a session bus of a test's own
    # for the desktop notifications.
    test) packages+=(openssl clang libclang-rt-dev dpkg-dev file desktop-file-utils clang-format clang-tidy
        shared-mime-info xdg-utils libfile-mimeinfo-perl libglib2.0-bin appstream dbus
        # The power-cut check: its FUSE file system and the explorer.
        libfuse3-dev fuse3 python3) ;;
    bench) packages+=(openssl libbenchmark-dev time python3 ccrypt gnupg age 7zip) ;;
    screenshot) packages+=(xvfb xauth imagemagick fonts-wqy-zenhei x11-utils) ;;
    package) packages+=(dpkg-dev file desktop-file-utils lintian appstream) ;;
    format) packages+=(clang-format) ;;
    tidy) packages+=(clang-tidy) ;;
    # The Windows build: MinGW-w64 (posix threads), Wine to run it, pefile to
    # read its files, xz for the shared Qt archive, NSIS for the installer,
    # Xvfb for the installer's windows in its test; rsvg-convert and
    # ImageMagick draw the installer's pictures; osslsigncode signs a release
    # (and openssl makes the signing test's certificate).
    windows) packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
        wine wine64 python3-pefile xz-utils nsis xvfb librsvg2-bin imagemagick osslsigncode openssl) ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
