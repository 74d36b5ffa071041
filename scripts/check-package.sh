#!/usr/bin/env bash
# Builds the Debian package into build/ (keystrel_<version>_<arch>.deb), lists
# its files and runs lintian on it; fails on any lintian error or warning.
# Run by hand before a release: lintian takes about ten seconds, so it is not
# part of scripts/test.sh (whose tst_package builds, lists, unpacks and runs
# the package). Build directory: $KEYSTREL_BUILD_DIR or build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
build=${KEYSTREL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"

out=$(cd "$build" && cpack -G DEB)
echo "$out"
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$out")
[ -f "$deb" ] || { echo "no package was written" >&2; exit 1; }

echo
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
echo
# Informational tags are shown too; they do not fail the check (README).
lintian --pedantic --display-info --fail-on error,warning "$deb"
echo "lintian: no errors or warnings on $deb"
