#!/usr/bin/env bash
# keystrel-cli against the form's own code (keystrel_bench_files, the same
# operations behind a Form) and against `openssl enc`, on the same work:
#   - a file encrypted and decrypted in place (256 MiB);
#   - a folder of small files (10,000) encrypted and decrypted as one batch.
# Whole processes are timed, start-up included; each figure is the median of
# the rounds, and who goes first rotates from round to round. Run by hand on
# an idle machine; data goes to /var/tmp (a real disk: fsync on tmpfs costs
# nothing).
#
# Environment: KEYSTREL_BENCH_BUILD (default build-bench), KEYSTREL_BENCH_DIR
# (/var/tmp), KEYSTREL_BENCH_MIB (256), KEYSTREL_BENCH_FILES (10000),
# KEYSTREL_BENCH_ROUNDS (5).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KEYSTREL_BENCH_BUILD:-build-bench}
mib=${KEYSTREL_BENCH_MIB:-256}
batch_files=${KEYSTREL_BENCH_FILES:-10000}
rounds=${KEYSTREL_BENCH_ROUNDS:-5}

scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEYSTREL_BUILD_BENCH=ON \
    -DKEYSTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target keystrel_bench_files keystrel-cli >/dev/null
form=$build/bin/keystrel_bench_files
cli=$build/bin/keystrel-cli

data=$(mktemp -d "${KEYSTREL_BENCH_DIR:-/var/tmp}/keystrel-cli-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
log=$data/bench.log
declare -A samples peaks

# timed NAME CMD...: runs CMD after sync, adds its wall seconds to NAME's
# samples and keeps its peak RSS (KiB).
timed() {
    local name=$1 start end peak inner
    shift
    sync
    start=$EPOCHREALTIME
    /usr/bin/time -f "%M" -o "$data/peak" "$@" >"$data/out" 2>>"$log" || { echo "$name failed (see $log)" >&2; exit 1; }
    end=$EPOCHREALTIME
    cat "$data/out" >>"$log"
    # The form's harness also times its operation alone.
    inner=$(sed -n 's/.* seconds=\([^ ]*\).*/\1/p' "$data/out")
    [ -z "$inner" ] || samples[$name-alone]+=" $inner"
    read -r peak <"$data/peak"
    samples[$name]+=" $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')"
    peaks[$name]=$(awk -v a="$peak" -v b="${peaks[$name]:-0}" 'BEGIN { print (a > b) ? a : b }')
}
# spread NAME: "min-max" of NAME's samples.
spread() {
    tr ' ' '\n' <<<"${samples[$1]}" | sed '/^$/d' | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.1f-%.1f", lo, hi }'
}
median() {
    tr ' ' '\n' <<<"${samples[$1]}" | sed '/^$/d' | sort -g |
        awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# rotated ROUND STEP...: the steps, starting with the ROUND-th.
rotated() {
    local round=$1
    shift
    local steps=("$@") i
    for ((i = 0; i < ${#steps[@]}; ++i)); do
        ${steps[$(((round + i) % ${#steps[@]}))]}
    done
}

load_at_start=$(cut -d' ' -f1 /proc/loadavg)
read -r key iv < <("$form" key)
echo "Making ${mib} MiB of data in $data..." >&2
head -c $((mib * 1024 * 1024 - 1)) /dev/urandom >"$data/plain.bin"
printf 'x' >>"$data/plain.bin"

form_encrypt() { timed file-form-encrypt "$form" encrypt "$data/form.bin"; }
cli_encrypt() { timed file-cli-encrypt "$cli" -q encrypt "$data/cli.bin"; }
ossl_encrypt() {
    rm -f "$data/ossl.enc"
    timed file-openssl-encrypt openssl enc -aes-128-cbc -nopad -K "$key" -iv "$iv" -in "$data/plain.bin" -out "$data/ossl.enc"
}
form_decrypt() { timed file-form-decrypt "$form" decrypt "$data/form.bin"; }
cli_decrypt() { timed file-cli-decrypt "$cli" -q decrypt "$data/cli.bin"; }
ossl_decrypt() {
    rm -f "$data/ossl.dec"
    timed file-openssl-decrypt openssl enc -d -aes-128-cbc -nopad -K "$key" -iv "$iv" -in "$data/ossl.enc" -out "$data/ossl.dec"
}
for round in $(seq "$rounds"); do
    echo "File round $round/$rounds..." >&2
    cp "$data/plain.bin" "$data/form.bin"
    cp "$data/plain.bin" "$data/cli.bin"
    rotated "$round" form_encrypt cli_encrypt ossl_encrypt
    cmp -s "$data/cli.bin" "$data/form.bin" || { echo "the command line's file differs from the form's" >&2; exit 1; }
    cmp -s -i 17:0 "$data/cli.bin" "$data/ossl.enc" || { echo "ciphertext differs from openssl's" >&2; exit 1; }
    rotated "$round" form_decrypt cli_decrypt ossl_decrypt
    for f in form.bin cli.bin; do
        cmp -s "$data/$f" "$data/plain.bin" || { echo "$f was not restored" >&2; exit 1; }
    done
done
rm -f "$data"/*.bin "$data"/ossl.*

echo "Making twice $batch_files small files..." >&2
"$form" make-batch "$data/form" "$batch_files"
"$form" make-batch "$data/cli" "$batch_files"
form_batch() { timed "batch-form-$1" "$form" batch "$data/form"; }
cli_batch() { timed "batch-cli-$1" "$cli" -q "$1" "$data/cli"; }
for round in $(seq "$rounds"); do
    echo "Batch round $round/$rounds..." >&2
    rotated "$round" "form_batch encrypt" "cli_batch encrypt"
    diff -rq "$data/form" "$data/cli" >/dev/null || { echo "the folders differ after encryption" >&2; exit 1; }
    rotated "$round" "form_batch decrypt" "cli_batch decrypt"
done
diff -rq "$data/form" "$data/cli" >/dev/null || { echo "the folders differ after decryption" >&2; exit 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib_of() { awk -v k="$1" 'BEGIN { printf "%.0f MiB", k / 1024 }'; }
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
printf "\nkeystrel-cli benchmark  %s  (%s cores, load average %s at start, %s at end; data on %s; medians of %s rounds, whole processes)\n" \
    "$cpu" "$(nproc)" "$load_at_start" "$(cut -d' ' -f1 /proc/loadavg)" "$(stat -f -c %T "$data")" "$rounds"
printf "\nFile, %s MiB in place (openssl: to a new file, no fdatasync)\n" "$mib"
printf "  %-9s %9s %9s %10s %12s %10s %13s %12s %12s\n" direction "cli (s)" "form (s)" "form op" "openssl (s)" \
    "cli/form" "cli/openssl" "peak cli" "peak form"
for mode in encrypt decrypt; do
    c=$(median "file-cli-$mode") f=$(median "file-form-$mode") o=$(median "file-openssl-$mode")
    printf "  %-9s %9s %9s %10s %12s %10s %13s %12s %12s\n" "$mode" "$c" "$f" "$(median "file-form-$mode-alone")" "$o" \
        "$(ratio "$c" "$f")" "$(ratio "$c" "$o")" "$(mib_of "${peaks[file-cli-$mode]}")" "$(mib_of "${peaks[file-form-$mode]}")"
done
printf "  form op: the form's operation alone, without its process start.\n"
printf "\nFolder of %s small files (1 B to 8 KiB); the form's batch runs under its progress dialog\n" "$batch_files"
printf "  %-9s %9s %9s %11s %10s %12s %12s %12s %12s %12s\n" direction "cli (s)" "form (s)" "form drop" "cli/form" \
    "cli files/s" "cli range" "form range" "peak cli" "peak form"
for mode in encrypt decrypt; do
    c=$(median "batch-cli-$mode") f=$(median "batch-form-$mode")
    printf "  %-9s %9s %9s %11s %10s %12.0f %12s %12s %12s %12s\n" "$mode" "$c" "$f" "$(median "batch-form-$mode-alone")" \
        "$(ratio "$c" "$f")" "$(awk -v n="$batch_files" -v s="$c" 'BEGIN { print n / s }')" "$(spread "batch-cli-$mode")" \
        "$(spread "batch-form-$mode")" "$(mib_of "${peaks[batch-cli-$mode]}")" "$(mib_of "${peaks[batch-form-$mode]}")"
done
printf "  form drop: the form's batch alone, without its process start and the harness's own checks.\n"
printf "  Renames and file-system flushes wait on the disk's other writers: compare runs on an idle machine.\n"
