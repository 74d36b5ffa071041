#!/usr/bin/env bash
# Fails, naming the files, when a C++ file of the repository is not laid out
# as .clang-format says. With --fix, lays them out instead.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v clang-format >/dev/null || scripts/install-deps.sh format
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=$(clang-format --dry-run "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u)
if [ -n "$bad" ]; then
    echo "Not formatted (scripts/check-format.sh --fix lays them out):"
    echo "$bad" | sed 's/^/    /'
    exit 1
fi
echo "Formatting: ${#files[@]} files as .clang-format says."
