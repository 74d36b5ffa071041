#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the program's own sources, tests left
# out, with the compile commands of a build (default build/). Fails on any
# finding, naming it.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
command -v clang-tidy >/dev/null || scripts/install-deps.sh tidy
if [ ! -f "$build/compile_commands.json" ]; then
    echo "No $build/compile_commands.json: configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
    exit 1
fi
# Windows' own files are not in a Linux build's compile commands.
mapfile -t files < <(git ls-files -- 'host/*.cpp' 'plugins/*.cpp' 'cli/*.cpp' 'library_check/*.cpp' | grep -v '_win\.cpp$')
start=$(date +%s)
status=0
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet >"$build/clang-tidy.log" 2>&1 \
    || status=$?
if [ "$status" -ne 0 ] || grep -q -E '(warning|error):' "$build/clang-tidy.log"; then
    grep -E -A3 '(warning|error):' "$build/clang-tidy.log" || cat "$build/clang-tidy.log"
    echo "clang-tidy: findings above (.clang-tidy says which checks run)"
    exit 1
fi
echo "clang-tidy: ${#files[@]} files clean in $(($(date +%s) - start)) s."
