#!/usr/bin/env bash
# Builds the fuzzers with clang (build-fuzz) and runs each one for a while.
# Usage: scripts/fuzz.sh [seconds per target, default 600] [target ...]
# New inputs collect in build-fuzz/fuzz/corpus/<target>; a crash is saved in
# build-fuzz/fuzz/artifacts/ and stops the script with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_hex_text fuzz_file_bytes fuzz_padding fuzz_cbc_chunks)

if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKEYSTREL_BUILD_FUZZERS=ON -DKEYSTREL_BUILD_TESTS=OFF
fi
cmake --build build-fuzz --target fuzzers -j 2

dir=build-fuzz/fuzz
mkdir -p "$dir/artifacts"
total=0
for t in "${targets[@]}"; do
    mkdir -p "$dir/corpus/$t"
    log="$dir/artifacts/$t.log"
    echo "== $t for ${seconds}s"
    "$dir/$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$t-" "$dir/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 || {
        tail -n 40 "$log"
        echo "$t failed; input saved under $dir/artifacts/" >&2
        exit 1
    }
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "   $runs executions, corpus $(ls "$dir/corpus/$t" | wc -l) inputs"
    total=$((total + runs))
done
echo "== $total executions in all"
