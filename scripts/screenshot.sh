#!/usr/bin/env bash
# Builds Keystrel, starts it under Xvfb with a CJK font, lets the test driver
# type a Chinese text and encrypt and decrypt it, and saves a picture of the
# window (default docs/screenshot.png).
# Usage: screenshot.sh [output.png]     Build directory: $KEYSTREL_BUILD_DIR or build
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--in-xvfb" ]; then
    # Second stage, inside the virtual display.
    build=$2 work=$3 out=$4
    # A runtime folder of its own: a Keystrel already running for this user
    # would otherwise take the start over.
    XDG_RUNTIME_DIR="$work" LD_PRELOAD="$build/tests/e2e-driver/keystrel_e2e_driver.so" \
    KEYSTREL_E2E_WORKDIR="$work" KEYSTREL_E2E_SCENARIO=screenshot \
        "$build/bin/Keystrel" 2>"$work/stderr" &
    pid=$!
    for _ in $(seq 300); do
        [ -e "$work/ready" ] && break
        kill -0 "$pid" 2>/dev/null || { cat "$work/stderr" >&2; exit 1; }
        sleep 0.1
    done
    [ -e "$work/ready" ] || { echo "Keystrel did not get ready" >&2; kill "$pid"; exit 1; }
    sleep 1 # let the last frame paint
    geometry=$(xwininfo -name Keystrel | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "$out"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    if grep -q '^FAIL' "$work/report"; then cat "$work/report" >&2; exit 1; fi
    exit 0
fi

out=$(realpath -m "${1:-docs/screenshot.png}")
build=$(realpath -m "${KEYSTREL_BUILD_DIR:-build}")
scripts/install-deps.sh screenshot
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEYSTREL_BUILD_TESTS=ON
cmake --build "$build" -j "$(nproc)" --target Keystrel Hubstone Vaultine keystrel_e2e_driver

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$out")"
LANG=C.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" "$0" --in-xvfb "$build" "$work" "$out"
echo "Saved $out"
