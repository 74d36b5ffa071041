#!/usr/bin/env bash
# Power cuts at every moment of keystrel-cli's runs: runs it on recording-fs
# (a FUSE file system that records each change and flush), builds the crash
# states each run could leave under a strict model and one of ext4
# (data=ordered) and checks every file of the batch in each. Prints, per
# run, the operations recorded, the states checked and the verdict; exits 0
# when every state keeps the promise, 1 otherwise (the first failing state
# described), 77 when FUSE is not at hand (no /dev/fuse, neither root nor
# fusermount3, or recording-fs not built for want of libfuse3-dev).
#
#   scripts/check-power-cut.sh [--build DIR] [--runs WORDS] [--seed N] [--samples N]
#                              [--preload LIBRARY --expect-broken]
#
# KEYSTREL_CLI=/path checks another keystrel-cli (a wrapper, an older build).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
if [ "${1:-}" = "--build" ]; then
    build=$2
    shift 2
fi
cli=${KEYSTREL_CLI:-$build/bin/keystrel-cli}
[ -x "$cli" ] || { echo "no keystrel-cli at $cli (build it, or set KEYSTREL_CLI)" >&2; exit 2; }
exec python3 -B tests/powercut/power_cut.py --cli "$(realpath "$cli")" \
    --recorder "$(realpath -m "$build/tests/bin/recording-fs")" \
    --shim "$(realpath -m "$build/tests/bin/power_cut_shim.so")" "$@"
