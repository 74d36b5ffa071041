#!/usr/bin/env bash
# Installs what is missing, checks the layout and the engine's layers, builds
# (warnings are errors), runs clang-tidy and every test: the normal build,
# then the AddressSanitizer/UBSan build, the fuzzers, and the Windows build
# under Wine when a Qt for MinGW-w64 is at hand.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

scripts/check-format.sh
scripts/check-layers.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEYSTREL_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build build -j "$jobs"
scripts/check-tidy.sh build
(cd build && ctest --output-on-failure -j "$jobs")

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKEYSTREL_SANITIZE=ON -DKEYSTREL_WERROR=ON
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs")

# Fuzzers (clang, libFuzzer with ASan/UBSan), each for a short bounded run.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKEYSTREL_BUILD_FUZZERS=ON -DKEYSTREL_BUILD_TESTS=OFF
cmake --build build-fuzz -j "$jobs" --target fuzzers
(cd build-fuzz/fuzz && ctest --output-on-failure)

# The Windows build and its tests under Wine, when a Qt for MinGW-w64 is at
# hand (scripts/windows-qt.sh: the variable, the cache or the shared archive).
if KEYSTREL_QT_WINDOWS=$(scripts/windows-qt.sh --no-build); then
    export KEYSTREL_QT_WINDOWS
    scripts/build-windows.sh --test
else
    echo "Skipped the Windows build and its tests: no Qt for MinGW-w64 at hand" \
        "(set KEYSTREL_QT_WINDOWS, or run scripts/build-windows.sh once to build it)"
fi
