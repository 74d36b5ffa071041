#!/usr/bin/env bash
# Installs what is missing, builds, and starts Keystrel.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ -x build/bin/Keystrel ]; then
    exec build/bin/Keystrel "$@"
fi
echo "build/bin/Keystrel was not built" >&2
exit 1
