#!/usr/bin/env bash
# Benchmarks, run by hand (not part of CI): builds in Release into its own
# build directory, makes its data in a temporary folder and prints one table:
#   - engine throughput, portable and AES-NI, encrypt and decrypt;
#   - a file encrypted and decrypted in place by the plug-in against
#     `openssl enc` on the same input in the same run: times, ratio, peak RSS;
#   - a folder batch of small files dropped on the form: files per second.
#
# Environment: KEYSTREL_BENCH_BUILD (default build-bench),
# KEYSTREL_BENCH_DIR (parent of the data folder, default /var/tmp: keep it on
# a real disk, fsync on tmpfs costs nothing), KEYSTREL_BENCH_MIB (256),
# KEYSTREL_BENCH_FILES (10000), KEYSTREL_BENCH_ROUNDS (5, best is kept).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KEYSTREL_BENCH_BUILD:-build-bench}
mib=${KEYSTREL_BENCH_MIB:-256}
batch_files=${KEYSTREL_BENCH_FILES:-10000}
rounds=${KEYSTREL_BENCH_ROUNDS:-5}

scripts/install-deps.sh bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEYSTREL_BUILD_BENCH=ON \
    -DKEYSTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target keystrel_bench_engine keystrel_bench_files >/dev/null
engine_bench=$build/bin/keystrel_bench_engine
files_bench=$build/bin/keystrel_bench_files

data=$(mktemp -d "${KEYSTREL_BENCH_DIR:-/var/tmp}/keystrel-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
log=$data/bench.log

# value KEY LINE: the value of KEY=... in a result line.
value() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $2"; }
# timed OUT CMD...: runs CMD under GNU time; "wall_seconds peak_kib" in OUT.
timed() {
    local out=$1
    shift
    /usr/bin/time -f "%e %M" -o "$out" "$@"
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
max() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 > b + 0) ? a : b }'; }

load_at_start=$(cut -d' ' -f1 /proc/loadavg)
echo "Running engine benchmark..." >&2
engine_csv=$("$engine_bench" --benchmark_repetitions=5 --benchmark_min_time=0.3 --benchmark_format=csv 2>>"$log")
engine_used=$(sed -n 's/^public entry points use: //p' "$log")
# openssl's own figure for the same buffer size, as a yardstick (MB/s).
openssl_mbps() {
    openssl speed -seconds 2 -bytes 262144 $1 -evp aes-128-cbc 2>/dev/null |
        awk '/^AES-128-CBC/ { printf "%.0f", $2 / 1000 }'
}
ossl_speed_enc=$(openssl_mbps "")
ossl_speed_dec=$(openssl_mbps -decrypt)
mbps() { # best of the repetitions in MB/s (10^6 bytes), or n/a
    awk -F, -v name="\"$1\"" '$1 == name && $6 > best { best = $6 }
        END { if (best) printf "%.0f", best / 1e6; else printf "n/a" }' <<<"$engine_csv"
}

echo "Making ${mib} MiB of data in $data..." >&2
read -r key iv < <("$files_bench" key)
# Random bytes; the last one is not a space, which decryption would take for
# padding.
head -c $((mib * 1024 * 1024 - 1)) /dev/urandom >"$data/plain.bin"
printf 'x' >>"$data/plain.bin"

# On virtual machines memory handed back to the host is several times slower
# to touch again, and a file written to the page cache touches a lot of it.
# Before each timed step some memory is taken and given back through tmpfs,
# so that openssl and the plug-in start from the same warm state.
warm_memory() {
    [ -d /dev/shm ] || return 0
    head -c $(((mib + 64) * 1024 * 1024)) /dev/zero >/dev/shm/keystrel-bench-warm 2>/dev/null || true
    rm -f /dev/shm/keystrel-bench-warm
}

rise=0
declare -A ours_line ours_proc ours_rss ossl_time ossl_rss
# ours MODE: the plug-in encrypts or decrypts ours.bin in place; the fastest
# run's result line is kept.
ours() {
    local mode=$1 wall peak line
    sync
    warm_memory
    timed "$data/t" "$files_bench" "$mode" "$data/ours.bin" >"$data/r" 2>>"$log"
    read -r wall peak <"$data/t"
    line=$(cat "$data/r")
    [ "$(value result "$line")" = 0 ] || { echo "$mode failed: $line" >&2; exit 1; }
    if [ -z "${ours_line[$mode]:-}" ] || [ "$(min "$(value seconds "$line")" "$(value seconds "${ours_line[$mode]}")")" != \
        "$(value seconds "${ours_line[$mode]}")" ]; then
        ours_line[$mode]=$line
    fi
    ours_proc[$mode]=$(min "$wall" "${ours_proc[$mode]:-}")
    ours_rss[$mode]=$(max "$peak" "${ours_rss[$mode]:-}")
    rise=$(max $(($(value peak_kib "$line") - $(value rss_start_kib "$line"))) "$rise")
}
# theirs MODE IN OUT: openssl enc writes a new file.
theirs() {
    local mode=$1 wall peak flags=()
    [ "$mode" = decrypt ] && flags=(-d)
    rm -f "$3"
    sync
    warm_memory
    timed "$data/t" openssl enc "${flags[@]}" -aes-128-cbc -nopad -K "$key" -iv "$iv" -in "$2" -out "$3"
    read -r wall peak <"$data/t"
    ossl_time[$mode]=$(min "$wall" "${ossl_time[$mode]:-}")
    ossl_rss[$mode]=$(max "$peak" "${ossl_rss[$mode]:-}")
}
for round in $(seq "$rounds"); do
    echo "File round $round/$rounds..." >&2
    cp "$data/plain.bin" "$data/ours.bin"
    # Who goes first alternates, so neither always meets a fresher page cache.
    if ((round % 2)); then
        theirs encrypt "$data/plain.bin" "$data/ossl.enc"
        ours encrypt
    else
        ours encrypt
        theirs encrypt "$data/plain.bin" "$data/ossl.enc"
    fi
    cmp -s -i 17:0 "$data/ours.bin" "$data/ossl.enc" || { echo "ciphertext differs from openssl's" >&2; exit 1; }
    if ((round % 2)); then
        theirs decrypt "$data/ossl.enc" "$data/ossl.dec"
        ours decrypt
    else
        ours decrypt
        theirs decrypt "$data/ossl.enc" "$data/ossl.dec"
    fi
    cmp -s "$data/ours.bin" "$data/plain.bin" || { echo "decryption did not restore the file" >&2; exit 1; }
    cmp -s "$data/ossl.dec" "$data/plain.bin" || { echo "openssl did not restore the file" >&2; exit 1; }
done
rm -f "$data"/*.bin "$data"/ossl.*

echo "Making $batch_files small files..." >&2
"$files_bench" make-batch "$data/batch" "$batch_files"
sync
echo "Dropping the folder to encrypt, then again to decrypt..." >&2
batch_enc=$("$files_bench" batch "$data/batch" 2>>"$log") || { echo "batch encryption failed: $batch_enc" >&2; exit 1; }
sync
batch_dec=$("$files_bench" batch "$data/batch" 2>>"$log") || { echo "batch decryption failed: $batch_dec" >&2; exit 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
pct() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f%%", 100 * a / b }'; }
mib_of() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
batch_row() {
    local line=$1
    local seconds
    seconds=$(value seconds "$line")
    printf "  %-9s %6s files/s  (%s files in %.2f s; fdatasync %s in %s calls, rename %s, read+write %s)\n" "$2" \
        "$(value files_per_second "$line")" "$(value files "$line")" "$seconds" \
        "$(pct "$(value sync_seconds "$line")" "$seconds")" "$(value sync_calls "$line")" \
        "$(pct "$(value rename_seconds "$line")" "$seconds")" \
        "$(pct "$(awk -v r="$(value read_seconds "$line")" -v w="$(value write_seconds "$line")" 'BEGIN { print r + w }')" "$seconds")"
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
fs=$(stat -f -c %T "$data")
printf "\nKeystrel benchmark  %s  (%s cores, load average %s at start; data on %s; best of %s file rounds)\n" \
    "$cpu" "$(nproc)" "$load_at_start" "$fs" "$rounds"
printf "\nEngine, AES-128-CBC, 256 KiB buffer in cache (MB/s per CPU second, best of 5); public entry points use: %s\n" "$engine_used"
printf "  %-10s %12s %12s\n" "path" "encrypt" "decrypt"
printf "  %-10s %12s %12s\n" "portable" "$(mbps portable/encrypt)" "$(mbps portable/decrypt)"
printf "  %-10s %12s %12s\n" "aes-ni" "$(mbps aes-ni/encrypt)" "$(mbps aes-ni/decrypt)"
printf "  %-10s %12s %12s   (ten dependent AES rounds per block, no memory)\n" "ceiling" "$(mbps ceiling/encrypt)" ""
printf "  %-10s %12s %12s   (openssl speed -evp aes-128-cbc, same run)\n" "openssl" "$ossl_speed_enc" "$ossl_speed_dec"
printf "\nFile, %s MiB in place (Form::encryptFile/decryptFile, fdatasync and rename included) vs openssl enc -nopad to a new file\n" "$mib"
printf "  %-9s %9s %14s %12s %7s %14s %14s\n" "direction" "ours (s)" "ours proc (s)" "openssl (s)" "ratio" "peak RSS ours" "peak RSS ossl"
for mode in encrypt decrypt; do
    seconds=$(value seconds "${ours_line[$mode]}")
    printf "  %-9s %9.3f %14.3f %12.3f %7s %14s %14s\n" "$mode" "$seconds" "${ours_proc[$mode]}" "${ossl_time[$mode]}" \
        "$(ratio "$seconds" "${ossl_time[$mode]}")" "$(mib_of "${ours_rss[$mode]}")" "$(mib_of "${ossl_rss[$mode]}")"
done
printf "  ours: the operation alone; ours proc: the whole process with Qt start-up; openssl: the whole process.\n"
printf "  Each step starts after sync and with memory warmed (see warm_memory).\n"
printf "  Peak RSS ours is Qt's plus at most %s for the operation.\n" "$(mib_of "$rise")"
printf "  Where ours goes (s):  %-8s %8s %8s %10s %8s %22s\n" "" read write fdatasync rename "rest (cipher, Qt, faults)"
for mode in encrypt decrypt; do
    line=${ours_line[$mode]}
    printf "                        %-8s %8.3f %8.3f %10.3f %8.3f %22.3f\n" "$mode" "$(value read_seconds "$line")" \
        "$(value write_seconds "$line")" "$(value sync_seconds "$line")" "$(value rename_seconds "$line")" \
        "$(awk -v t="$(value seconds "$line")" -v r="$(value read_seconds "$line")" -v w="$(value write_seconds "$line")" \
            -v f="$(value sync_seconds "$line")" -v n="$(value rename_seconds "$line")" 'BEGIN { print t - r - w - f - n }')"
done
printf "\nFolder batch of small files (1 B to 8 KiB) dropped on a shown form, progress dialog included\n"
batch_row "$batch_enc" "encrypt"
batch_row "$batch_dec" "decrypt"
