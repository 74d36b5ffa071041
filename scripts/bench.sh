#!/usr/bin/env bash
# Benchmarks, run by hand (not part of CI): builds in Release into its own
# build directory, makes its data in a temporary folder and prints one table:
#   - engine throughput, portable and AES-NI, encrypt and decrypt;
#   - a file encrypted and decrypted in place by the plug-in against
#     `openssl enc` to a new file, and against the shell doing the same job as
#     durably (openssl to a temporary file beside it, sync FILE, mv, sync DIR):
#     times, ratios, spread, where the time goes, peak RSS;
#   - folder batches of small files dropped on a shown form against
#     bench/durable_rewrite.py's two ways on identical copies: files per
#     second, where the time goes;
#   - peak RSS of the largest batch and of a large file;
#   - the longest the GUI thread's event loop went without turning while a
#     large file, then a folder of a few large files, is dropped on the form;
#   - the same while text files of three shapes (one long line, lines of
#     words, minified JSON) are dropped and their text shown;
#   - then scripts/bench-peers.sh: the same jobs by ccrypt, gpg, age, 7zz,
#     openssl and dd (the disk's floor), on the same sizes.
# Every contender runs in every round, who goes first changing from round to
# round; the figures are medians.
#
# Environment:
#   KEYSTREL_BENCH_REFERENCE  another build's keystrel_bench_files (say, of an
#                             older commit): every measurement is repeated
#                             with it in a "reference" column. A program that
#                             knows only `encrypt|decrypt FILE` and `batch DIR`
#                             is enough; gaps need its `drop FILE`.
#   KEYSTREL_BENCH_BUILD      build directory (build-bench)
#   KEYSTREL_BENCH_DIR        parent of the data folder (/var/tmp: keep it on a
#                             real disk, fsync on tmpfs costs nothing)
#   KEYSTREL_BENCH_MIB        file compared with openssl and the shell (256)
#   KEYSTREL_BENCH_FILES      batch sizes ("2000 10000")
#   KEYSTREL_BENCH_PER_FOLDER files per sub-folder in batches (100)
#   KEYSTREL_BENCH_ROUNDS     rounds of the file comparison (5)
#   KEYSTREL_BENCH_BATCH_ROUNDS rounds of the batch comparisons (as many): on
#                             a disk whose flush takes milliseconds the
#                             per-file ways run at about 100 files/s
#   KEYSTREL_BENCH_LARGE_MIB  file dropped for the event loop's gaps (1024)
#   KEYSTREL_BENCH_LARGE_BATCH files x MiB of the folder dropped for the
#                             gaps ("4x192")
#   KEYSTREL_BENCH_GAP_ROUNDS rounds of the gap measurements (3)
#   KEYSTREL_BENCH_TEXT_KIB   size of the text files dropped for their text (1024)
#   KEYSTREL_BENCH_TEXT_ROUNDS rounds of the text drops (as many as the gaps)
#   KEYSTREL_BENCH_PEER_FILES small files for the peers' folder (the largest
#                             batch); KEYSTREL_BENCH_PEERS=0 leaves peers out
# Only the text drops, say: KEYSTREL_BENCH_ROUNDS=0 KEYSTREL_BENCH_FILES=" "
# KEYSTREL_BENCH_GAP_ROUNDS=0 KEYSTREL_BENCH_MIB=1 KEYSTREL_BENCH_LARGE_MIB=1
# KEYSTREL_BENCH_LARGE_BATCH=1x1 KEYSTREL_BENCH_TEXT_ROUNDS=3.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_NUMERIC=C

build=${KEYSTREL_BENCH_BUILD:-build-bench}
mib=${KEYSTREL_BENCH_MIB:-256}
batch_sizes=${KEYSTREL_BENCH_FILES:-2000 10000}
per_folder=${KEYSTREL_BENCH_PER_FOLDER:-100}
rounds=${KEYSTREL_BENCH_ROUNDS:-5}
batch_rounds=${KEYSTREL_BENCH_BATCH_ROUNDS:-$rounds}
large_mib=${KEYSTREL_BENCH_LARGE_MIB:-1024}
large_batch=${KEYSTREL_BENCH_LARGE_BATCH:-4x192}
large_batch_files=${large_batch%x*}
large_batch_mib=${large_batch#*x}
gap_rounds=${KEYSTREL_BENCH_GAP_ROUNDS:-3}
text_kib=${KEYSTREL_BENCH_TEXT_KIB:-1024}
text_rounds=${KEYSTREL_BENCH_TEXT_ROUNDS:-$gap_rounds}
reference=${KEYSTREL_BENCH_REFERENCE:-}
script_started=$SECONDS

scripts/install-deps.sh bench
command -v python3 >/dev/null || { echo "python3 is needed for bench/durable_rewrite.py" >&2; exit 1; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEYSTREL_BUILD_BENCH=ON \
    -DKEYSTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target keystrel_bench_engine keystrel_bench_files >/dev/null
engine_bench=$build/bin/keystrel_bench_engine
files_bench=$build/bin/keystrel_bench_files

# The reference runs what it knows; a drop it does not know becomes a plain
# encryptFile/decryptFile of the same file (times and memory, no gaps).
reference_drops=0
if [ -n "$reference" ]; then
    [ -x "$reference" ] || { echo "KEYSTREL_BENCH_REFERENCE: $reference is not a program" >&2; exit 1; }
    reference=$(realpath "$reference")
    usage=$("$reference" 2>&1 || true)
    [[ $usage == *"drop FILE"* ]] && reference_drops=1
fi

data=$(mktemp -d "${KEYSTREL_BENCH_DIR:-/var/tmp}/keystrel-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
log=$data/bench.log

# value KEY LINE: the value of KEY=... in a result line.
value() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $2"; }

# Samples by name ("section/contender/direction/field"), space-separated.
declare -A samples
note() { samples[$1]="${samples[$1]:-} $2"; }
# record KEY LINE: each key=value of a result line as one more sample of
# KEY/key, and the time outside the timed calls as KEY/rest_seconds.
record() {
    local key=$1 line=$2 word
    for word in $line; do
        if [[ $word == *=* ]]; then
            note "$key/${word%%=*}" "${word#*=}"
        fi
    done
    note "$key/rest_seconds" "$(awk -v line="$line" 'BEGIN {
        n = split(line, words, " ")
        for (i = 1; i <= n; i++) { split(words[i], kv, "="); v[kv[1]] = kv[2] }
        print v["seconds"] - v["read_seconds"] - v["write_seconds"] - v["writeback_seconds"] - v["sync_seconds"] \
            - v["dirsync_seconds"] - v["syncfs_seconds"] - v["rename_seconds"] - v["link_seconds"] - v["close_seconds"]
    }')"
    if [ -n "$(value peak_kib "$line")" ]; then
        note "$key/rise_kib" $(($(value peak_kib "$line") - $(value rss_start_kib "$line")))
    fi
}
# stat_of median|min|max|count KEY...: over the samples of the KEYs, or n/a.
stat_of() {
    local what=$1 key values=
    shift
    for key in "$@"; do
        values+=" ${samples[$key]:-}"
    done
    values=$(tr ' ' '\n' <<<"$values" | grep -v '^$' || true)
    [ -n "$values" ] || { echo n/a; return; }
    sort -g <<<"$values" | awk -v what="$what" '{ v[NR] = $1 } END {
        if (what == "min") print v[1]
        else if (what == "max") print v[NR]
        else if (what == "count") print NR
        else if (NR % 2) print v[(NR + 1) / 2]
        else print (v[NR / 2] + v[NR / 2 + 1]) / 2
    }'
}
median() { stat_of median "$1"; }
isnum() { [[ $1 =~ ^-?[0-9]*\.?[0-9]+([eE][-+]?[0-9]+)?$ ]]; }
# fmt FORMAT VALUE: VALUE printed with FORMAT, or n/a.
fmt() { if isnum "$2"; then printf "$1" "$2"; else printf "n/a"; fi; }
ratio() { if isnum "$1" && isnum "$2"; then awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; else printf "n/a"; fi; }
pct() { if isnum "$1" && isnum "$2"; then awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f%%", 100 * a / b }'; else printf "n/a"; fi; }
mib_of() { if isnum "$1"; then awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; else printf "n/a"; fi; }
# spread KEY FORMAT: "median [min-max]".
spread() {
    printf "%s [%s-%s]" "$(fmt "$2" "$(median "$1")")" "$(fmt "$2" "$(stat_of min "$1")")" "$(fmt "$2" "$(stat_of max "$1")")"
}
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }

# in_turn ROUND STEP MODE CONTENDER...: STEP CONTENDER MODE for each
# contender, the ROUND-th first, so that none always meets a fresher page
# cache or a quieter disk.
in_turn() {
    local round=$1 step=$2 mode=$3 i
    shift 3
    local contenders=("$@")
    for ((i = 0; i < ${#contenders[@]}; i++)); do
        "$step" "${contenders[(i + round) % ${#contenders[@]}]}" "$mode"
    done
}
with_reference() { echo "$@" ${reference:+reference}; }

# Random bytes; the last one is not a space, which decryption would take for
# padding.
random_file() {
    head -c $(($2 * 1024 * 1024 - 1)) /dev/urandom >"$1"
    printf 'x' >>"$1"
}

# On virtual machines memory handed back to the host is several times slower
# to touch again, and a file written to the page cache touches a lot of it.
# Before each timed step some memory is taken and given back through tmpfs,
# so that every contender starts from the same warm state.
warm_mib=$((mib + 64))
warm_memory() {
    [ -d /dev/shm ] || return 0
    head -c $((warm_mib * 1024 * 1024)) /dev/zero >/dev/shm/keystrel-bench-warm 2>/dev/null || true
    rm -f /dev/shm/keystrel-bench-warm
}

# run_bench KEY PROGRAM ARGS...: one of the bench programs (ours or the
# reference) after sync and with memory warmed; its result line recorded
# under KEY with the whole process's wall time and peak RSS.
run_bench() {
    local key=$1 wall peak
    shift
    sync
    warm_memory
    if ! /usr/bin/time -f "%e %M" -o "$data/t" "$@" >"$data/r" 2>>"$log"; then
        echo "failed: $* -> $(cat "$data/r")" >&2
        exit 1
    fi
    read -r wall peak <"$data/t"
    record "$key" "$(tail -n 1 "$data/r")"
    note "$key/proc_seconds" "$wall"
    note "$key/proc_peak_kib" "$peak"
}

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

# ---- One file in place ----------------------------------------------------
echo "Making ${mib} MiB of data in $data..." >&2
read -r aes_key aes_iv < <("$files_bench" key)
random_file "$data/plain.bin" "$mib"
for contender in ours shell reference; do
    cp "$data/plain.bin" "$data/$contender.bin"
done

# openssl enc writes a new file: no flush, no rename.
openssl_new_file() {
    local key=$1 wall peak flags=()
    [ "$2" = decrypt ] && flags=(-d)
    rm -f "$4"
    sync
    warm_memory
    /usr/bin/time -f "%e %M" -o "$data/t" \
        openssl enc "${flags[@]}" -aes-128-cbc -nopad -K "$aes_key" -iv "$aes_iv" -in "$3" -out "$4"
    read -r wall peak <"$data/t"
    note "$key/seconds" "$wall"
    note "$key/proc_peak_kib" "$peak"
}
# The same job as durably as the shell can: a temporary file beside the
# original, flushed, moved over it, the folder flushed.
shell_in_place() {
    local key=$1 file=$3 flags=() t0 t1 t2 t3 t4
    [ "$2" = decrypt ] && flags=(-d)
    sync
    warm_memory
    t0=$EPOCHREALTIME
    openssl enc "${flags[@]}" -aes-128-cbc -nopad -K "$aes_key" -iv "$aes_iv" -in "$file" -out "$file.tmp"
    t1=$EPOCHREALTIME
    sync "$file.tmp"
    t2=$EPOCHREALTIME
    mv "$file.tmp" "$file"
    t3=$EPOCHREALTIME
    sync "$(dirname "$file")"
    t4=$EPOCHREALTIME
    note "$key/seconds" "$(elapsed "$t0" "$t4")"
    note "$key/openssl_seconds" "$(elapsed "$t0" "$t1")"
    note "$key/sync_seconds" "$(elapsed "$t1" "$t2")"
    note "$key/rename_seconds" "$(elapsed "$t2" "$t3")"
    note "$key/dirsync_seconds" "$(elapsed "$t3" "$t4")"
}
file_step() {
    local contender=$1 mode=$2
    case $contender in
    ours) run_bench "file/ours/$mode" "$files_bench" "$mode" "$data/ours.bin" ;;
    reference) run_bench "file/reference/$mode" "$reference" "$mode" "$data/reference.bin" ;;
    shell) shell_in_place "file/shell/$mode" "$mode" "$data/shell.bin" ;;
    openssl)
        if [ "$mode" = encrypt ]; then
            openssl_new_file "file/openssl/$mode" "$mode" "$data/plain.bin" "$data/ossl.enc"
        else
            openssl_new_file "file/openssl/$mode" "$mode" "$data/ossl.enc" "$data/ossl.dec"
        fi
        ;;
    esac
}
file_contenders=($(with_reference ours openssl shell))
for round in $(seq "$rounds"); do
    echo "File round $round/$rounds..." >&2
    in_turn "$round" file_step encrypt "${file_contenders[@]}"
    cmp -s -i 17:0 "$data/ours.bin" "$data/ossl.enc" || { echo "ciphertext differs from openssl's" >&2; exit 1; }
    cmp -s "$data/shell.bin" "$data/ossl.enc" || { echo "the shell's ciphertext differs from openssl's" >&2; exit 1; }
    if [ -n "$reference" ]; then
        cmp -s "$data/reference.bin" "$data/ours.bin" || { echo "the reference's file differs from ours" >&2; exit 1; }
    fi
    in_turn "$round" file_step decrypt "${file_contenders[@]}"
    for contender in ours shell ossl.dec ${reference:+reference}; do
        file=$data/$contender.bin
        [ "$contender" = ossl.dec ] && file=$data/ossl.dec
        cmp -s "$file" "$data/plain.bin" || { echo "$contender did not restore the file" >&2; exit 1; }
    done
done
rm -f "$data"/*.bin "$data"/ossl.*

# ---- Folder batches of small files ----------------------------------------
batch_step() {
    local contender=$1 mode=$2 tree=$data/batch/$1
    case $contender in
    ours) run_bench "batch$files/ours/$mode" "$files_bench" batch "$tree" ;;
    reference) run_bench "batch$files/reference/$mode" "$reference" batch "$tree" ;;
    each | grouped)
        sync
        warm_memory
        record "batch$files/$contender/$mode" "$(python3 bench/durable_rewrite.py "$contender" "$tree")"
        ;;
    esac
}
# copy_trees FROM CONTENDER...: each contender's tree a fresh copy of FROM.
copy_trees() {
    local from=$1 contender
    shift
    for contender in "$@"; do
        rm -rf "$data/batch/$contender"
        cp -a "$from" "$data/batch/$contender"
    done
}
batch_contenders=($(with_reference ours each grouped))
for files in $batch_sizes; do
    echo "Making $files small files..." >&2
    rm -rf "$data/batch"
    mkdir -p "$data/batch"
    "$files_bench" make-batch "$data/batch/master" "$files" "$per_folder"
    for round in $(seq "$batch_rounds"); do
        echo "Batch of $files files, round $round/$batch_rounds..." >&2
        copy_trees "$data/batch/master" "${batch_contenders[@]}"
        in_turn "$round" batch_step encrypt "${batch_contenders[@]}"
        if [ -n "$reference" ] && ! diff -rq "$data/batch/ours" "$data/batch/reference" >/dev/null; then
            echo "the reference encrypted the batch differently" >&2
            exit 1
        fi
        # Every way decrypts the same encrypted tree.
        copy_trees "$data/batch/ours" each grouped
        in_turn "$round" batch_step decrypt "${batch_contenders[@]}"
        for contender in ours ${reference:+reference}; do
            diff -rq "$data/batch/master" "$data/batch/$contender" >/dev/null ||
                { echo "$contender did not restore the batch" >&2; exit 1; }
        done
    done
done
rm -rf "$data/batch"

# ---- The event loop while large files are in hand -------------------------
echo "Making a ${large_mib} MiB file and $large_batch_files files of ${large_batch_mib} MiB..." >&2
warm_mib=$((large_mib + 64))
mkdir -p "$data/large" "$data/folder"
random_file "$data/large/plain.bin" "$large_mib"
random_file "$data/folder/plain.bin" "$large_batch_mib"
for contender in ours ${reference:+reference}; do
    cp "$data/large/plain.bin" "$data/large/$contender.bin"
    mkdir "$data/folder/$contender"
    for i in $(seq "$large_batch_files"); do
        cp "$data/folder/plain.bin" "$data/folder/$contender/f$i.bin"
    done
done
large_step() {
    local contender=$1 mode=$2 file=$data/large/$1.bin
    if [ "$contender" = ours ]; then
        run_bench "large/ours/$mode" "$files_bench" drop "$file"
    elif ((reference_drops)); then
        run_bench "large/reference/$mode" "$reference" drop "$file"
    else
        run_bench "large/reference/$mode" "$reference" "$mode" "$file"
    fi
}
folder_step() {
    local program=$files_bench
    [ "$1" = reference ] && program=$reference
    run_bench "folder/$1/$2" "$program" batch "$data/folder/$1"
}
gap_contenders=($(with_reference ours))
for round in $(seq "$gap_rounds"); do
    echo "Large file and folder, round $round/$gap_rounds..." >&2
    in_turn "$round" large_step encrypt "${gap_contenders[@]}"
    in_turn "$round" large_step decrypt "${gap_contenders[@]}"
    in_turn "$round" folder_step encrypt "${gap_contenders[@]}"
    in_turn "$round" folder_step decrypt "${gap_contenders[@]}"
done
for contender in "${gap_contenders[@]}"; do
    cmp -s "$data/large/$contender.bin" "$data/large/plain.bin" ||
        { echo "$contender did not restore the large file" >&2; exit 1; }
    for i in $(seq "$large_batch_files"); do
        cmp -s "$data/folder/$contender/f$i.bin" "$data/folder/plain.bin" ||
            { echo "$contender did not restore the folder" >&2; exit 1; }
    done
done
rm -rf "$data/large" "$data/folder"

# ---- The text of a dropped text file ---------------------------------------
echo "Making text files of ${text_kib} KiB..." >&2
warm_mib=64
mkdir -p "$data/text"
python3 bench/make_texts.py "$data/text" "$text_kib"
text_shapes=(one-line.txt lines.txt minified.json)
text_contenders=(ours)
((reference_drops)) && text_contenders+=(reference)
for contender in "${text_contenders[@]}"; do
    for shape in "${text_shapes[@]}"; do
        cp "$data/text/$shape" "$data/text/$contender-$shape"
    done
done
# Dropped twice: encrypted (its text shown before), then decrypted (after).
text_step() {
    local contender=$1 shape=$2 program=$files_bench
    [ "$contender" = reference ] && program=$reference
    run_bench "text/$contender/$shape/encrypt" "$program" drop "$data/text/$contender-$shape"
    run_bench "text/$contender/$shape/decrypt" "$program" drop "$data/text/$contender-$shape"
}
for round in $(seq "$text_rounds"); do
    echo "Text files, round $round/$text_rounds..." >&2
    for shape in "${text_shapes[@]}"; do
        in_turn "$round" text_step "$shape" "${text_contenders[@]}"
    done
done
for contender in "${text_contenders[@]}"; do
    for shape in "${text_shapes[@]}"; do
        cmp -s "$data/text/$contender-$shape" "$data/text/$shape" ||
            { echo "$contender did not restore $shape" >&2; exit 1; }
    done
done
rm -rf "$data/text"

# ---- The table ------------------------------------------------------------
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
fs=$(findmnt -n -o FSTYPE -T "$data" 2>/dev/null || stat -f -c %T "$data")
options=$(findmnt -n -o OPTIONS -T "$data" 2>/dev/null | tr ',' '\n' | grep -x -E 'discard|nodiscard|data=.*|barrier=.*' | paste -sd, || true)
printf "\nKeystrel benchmark  %s  (%s cores; load average %s at start, %s at end; data on %s%s)\n" \
    "$cpu" "$(nproc)" "$load_at_start" "$(cut -d' ' -f1 /proc/loadavg)" "$fs" "${options:+ ($options)}"
printf "Medians of %s rounds (batches: %s, gaps: %s), every contender in every round, who goes first changing.\n" \
    "$rounds" "$batch_rounds" "$gap_rounds"
if [ -n "$reference" ]; then
    printf "Reference: %s\n" "$reference"
fi
printf "\nEngine, AES-128-CBC, 256 KiB buffer in cache (MB/s per CPU second, best of 5); public entry points use: %s\n" "$engine_used"
printf "  %-10s %12s %12s\n" "path" "encrypt" "decrypt"
printf "  %-10s %12s %12s\n" "portable" "$(mbps portable/encrypt)" "$(mbps portable/decrypt)"
printf "  %-10s %12s %12s\n" "aes-ni" "$(mbps aes-ni/encrypt)" "$(mbps aes-ni/decrypt)"
printf "  %-10s %12s %12s   (ten dependent AES rounds per block, no memory)\n" "ceiling" "$(mbps ceiling/encrypt)" ""
printf "  %-10s %12s %12s   (openssl speed -evp aes-128-cbc, same run)\n" "openssl" "$ossl_speed_enc" "$ossl_speed_dec"

printf "\nFile, %s MiB in place (Form::encryptFile/decryptFile: flushes and rename included) vs openssl enc -nopad to a new file\n" "$mib"
printf "  %-9s %9s %14s %12s %7s %14s %14s\n" "direction" "ours (s)" "ours proc (s)" "openssl (s)" "ratio" "peak RSS ours" "peak RSS ossl"
for mode in encrypt decrypt; do
    seconds=$(median "file/ours/$mode/seconds")
    printf "  %-9s %9s %14s %12s %7s %14s %14s\n" "$mode" "$(fmt %.3f "$seconds")" \
        "$(fmt %.3f "$(median "file/ours/$mode/proc_seconds")")" "$(fmt %.3f "$(median "file/openssl/$mode/seconds")")" \
        "$(ratio "$seconds" "$(median "file/openssl/$mode/seconds")")" \
        "$(mib_of "$(stat_of max "file/ours/$mode/proc_peak_kib")")" "$(mib_of "$(stat_of max "file/openssl/$mode/proc_peak_kib")")"
done
printf "  ours: the operation alone; ours proc: the whole process with Qt start-up; openssl: the whole process.\n"
printf "  Each step starts after sync and with memory warmed (see warm_memory).\n"
printf "  Peak RSS ours is Qt's plus at most %s for the operation.\n" \
    "$(mib_of "$(stat_of max file/ours/encrypt/rise_kib file/ours/decrypt/rise_kib)")"

printf "\nFile, %s MiB in place, as durably as the shell: openssl enc to a temporary file beside it, sync FILE, mv, sync DIR\n" "$mib"
printf "  (seconds, median [min-max]; ratio = ours / shell, target 0.90 or less)\n"
printf "  %-9s %22s %22s %7s" "direction" "ours" "shell" "ratio"
[ -n "$reference" ] && printf " %22s %7s %9s" "reference" "ref/sh" "ours/ref"
printf "\n"
for mode in encrypt decrypt; do
    printf "  %-9s %22s %22s %7s" "$mode" "$(spread "file/ours/$mode/seconds" %.3f)" \
        "$(spread "file/shell/$mode/seconds" %.3f)" \
        "$(ratio "$(median "file/ours/$mode/seconds")" "$(median "file/shell/$mode/seconds")")"
    if [ -n "$reference" ]; then
        printf " %22s %7s %9s" "$(spread "file/reference/$mode/seconds" %.3f)" \
            "$(ratio "$(median "file/reference/$mode/seconds")" "$(median "file/shell/$mode/seconds")")" \
            "$(ratio "$(median "file/ours/$mode/seconds")" "$(median "file/reference/$mode/seconds")")"
    fi
    printf "\n"
done
printf "  Where the time goes (s, median of each part over the rounds):\n"
printf "  %-19s %7s %7s %9s %7s %7s %8s %7s   %s\n" "" read write writeback fsync rename dirsync rest "(rest: cipher, Qt, page faults, threads)"
for contender in ours ${reference:+reference}; do
    for mode in encrypt decrypt; do
        printf "  %-19s" "$contender $mode"
        for part in read:7 write:7 writeback:9 sync:7 rename:7 dirsync:8 rest:7; do
            printf " %*s" "${part#*:}" "$(fmt %.3f "$(median "file/$contender/$mode/${part%:*}_seconds")")"
        done
        printf "   fsync calls %s\n" "$(median "file/$contender/$mode/sync_calls")"
    done
done
for mode in encrypt decrypt; do
    printf "  %-19s openssl enc %s, sync FILE %s, mv %s, sync DIR %s\n" "shell $mode" \
        "$(fmt %.3f "$(median "file/shell/$mode/openssl_seconds")")" "$(fmt %.3f "$(median "file/shell/$mode/sync_seconds")")" \
        "$(fmt %.3f "$(median "file/shell/$mode/rename_seconds")")" "$(fmt %.3f "$(median "file/shell/$mode/dirsync_seconds")")"
done

printf "\nFolder batches of small files (1 B to 8 KiB, %s to a sub-folder) dropped on a shown form, progress dialog included,\n" "$per_folder"
printf "against bench/durable_rewrite.py on identical copies (each: per file write, fdatasync, rename, fsync folder;\n"
printf "grouped: 256 files written, one syncfs, the renames, one fsync per folder). Files per second, medians.\n"
printf "  %6s %-9s %7s %7s %8s %9s %12s" files direction ours each grouped ours/each ours/grouped
[ -n "$reference" ] && printf " %9s %8s" reference ours/ref
printf " %24s\n" "longest gap ours (ended at)"
for files in $batch_sizes; do
    for mode in encrypt decrypt; do
        key=batch$files
        ours=$(median "$key/ours/$mode/files_per_second")
        printf "  %6s %-9s %7s %7s %8s %9s %12s" "$files" "$mode" "$ours" "$(median "$key/each/$mode/files_per_second")" \
            "$(median "$key/grouped/$mode/files_per_second")" \
            "$(ratio "$ours" "$(median "$key/each/$mode/files_per_second")")" \
            "$(ratio "$ours" "$(median "$key/grouped/$mode/files_per_second")")"
        if [ -n "$reference" ]; then
            printf " %9s %8s" "$(median "$key/reference/$mode/files_per_second")" \
                "$(ratio "$ours" "$(median "$key/reference/$mode/files_per_second")")"
        fi
        printf " %9s ms (%6s ms)\n" "$(fmt %.0f "$(stat_of max "$key/ours/$mode/max_gap_ms")")" \
            "$(fmt %.0f "$(stat_of max "$key/ours/$mode/max_gap_ended_ms")")"
    done
done
printf "  Longest gap: the highest over the rounds, and when the latest of them ended after the drop.\n"
printf "  Where ours' time goes (share of the median batch time; medians):\n"
for files in $batch_sizes; do
    for mode in encrypt decrypt; do
        key=batch$files/ours/$mode
        seconds=$(median "$key/seconds")
        printf "  %6s %-9s %6.2f s: syncfs %s in %s calls, fsync files %s in %s, fsync folders %s in %s, rename %s, link %s, read+write %s, rest %s\n" \
            "$files" "$mode" "$seconds" "$(pct "$(median "$key/syncfs_seconds")" "$seconds")" "$(median "$key/syncfs_calls")" \
            "$(pct "$(median "$key/sync_seconds")" "$seconds")" "$(median "$key/sync_calls")" \
            "$(pct "$(median "$key/dirsync_seconds")" "$seconds")" "$(median "$key/dirsync_calls")" \
            "$(pct "$(median "$key/rename_seconds")" "$seconds")" "$(pct "$(median "$key/link_seconds")" "$seconds")" \
            "$(pct "$(awk -v r="$(median "$key/read_seconds")" -v w="$(median "$key/write_seconds")" 'BEGIN { print r + w }')" "$seconds")" \
            "$(pct "$(median "$key/rest_seconds")" "$seconds")"
    done
done

largest=$(tr ' ' '\n' <<<"$batch_sizes" | sort -n | tail -1)
printf "\nPeak RSS of the whole process (highest over the rounds); at start: Qt and the form, before the work (median)\n"
printf "  %-36s %12s %12s" "" "ours peak" "at start"
[ -n "$reference" ] && printf " %12s %12s" "ref peak" "at start"
printf "\n"
rss_row() {
    printf "  %-36s %12s %12s" "$1" "$(mib_of "$(stat_of max "$2/ours/$3/peak_kib")")" "$(mib_of "$(median "$2/ours/$3/rss_start_kib")")"
    if [ -n "$reference" ]; then
        printf " %12s %12s" "$(mib_of "$(stat_of max "$2/reference/$3/peak_kib")")" "$(mib_of "$(median "$2/reference/$3/rss_start_kib")")"
    fi
    printf "\n"
}
for mode in encrypt decrypt; do
    rss_row "$largest-file batch, $mode" "batch$largest" "$mode"
done
for mode in encrypt decrypt; do
    rss_row "$large_mib MiB file dropped, $mode" large "$mode"
done

printf "\nEvent loop: longest gap between a 5 ms timer's timeouts on the GUI thread during the work (target 100 ms or less);\n"
printf "ms, median [min-max] of %s rounds, with the work's median time\n" "$gap_rounds"
printf "  %-36s %22s %8s" "" "ours gap (ms)" "time (s)"
[ -n "$reference" ] && printf " %22s %8s" "reference gap (ms)" "time (s)"
printf "\n"
gap_row() {
    printf "  %-36s %22s %8s" "$1" "$(spread "$2/ours/$3/max_gap_ms" %.0f)" "$(fmt %.2f "$(median "$2/ours/$3/seconds")")"
    if [ -n "$reference" ]; then
        printf " %22s %8s" "$(spread "$2/reference/$3/max_gap_ms" %.0f)" "$(fmt %.2f "$(median "$2/reference/$3/seconds")")"
    fi
    printf "\n"
}
for mode in encrypt decrypt; do
    gap_row "$large_mib MiB file dropped, $mode" large "$mode"
done
for mode in encrypt decrypt; do
    gap_row "folder of $large_batch_files x $large_batch_mib MiB dropped, $mode" folder "$mode"
done
if [ -n "$reference" ] && ((!reference_drops)); then
    printf "  The reference knows no drop: its large file went through encryptFile/decryptFile, with no gap measured.\n"
fi

printf "\nText files of %s KiB dropped on the form: the event loop's longest gap (target 100 ms or less), ms, median\n" "$text_kib"
printf "[min-max] of %s rounds, the drop's median time and the characters the text area then holds\n" "$text_rounds"
printf "  %-26s %22s %8s %9s" "" "ours gap (ms)" "time (s)" "shown"
((${#text_contenders[@]} > 1)) && printf " %22s %8s %9s" "reference gap (ms)" "time (s)" "shown"
printf "\n"
for shape in "${text_shapes[@]}"; do
    for mode in encrypt decrypt; do
        printf "  %-26s" "$shape, $mode"
        for contender in "${text_contenders[@]}"; do
            key=text/$contender/$shape/$mode
            printf " %22s %8s %9s" "$(spread "$key/max_gap_ms" %.0f)" "$(fmt %.2f "$(median "$key/seconds")")" \
                "$(fmt %.0f "$(median "$key/shown_chars")")"
        done
        printf "\n"
    done
done
printf "  encrypt: the text is shown, then the file encrypted; decrypt: decrypted, then shown.\n"
if [ "${KEYSTREL_BENCH_PEERS:-1}" != 0 ]; then
    KEYSTREL_BENCH_SKIP_BUILD=1 KEYSTREL_BENCH_BUILD=$build KEYSTREL_BENCH_MIB=$mib KEYSTREL_BENCH_ROUNDS=$rounds \
        KEYSTREL_BENCH_PEER_FILES=${KEYSTREL_BENCH_PEER_FILES:-${largest:-0}} KEYSTREL_BENCH_PER_FOLDER=$per_folder \
        KEYSTREL_BENCH_REFERENCE=$reference scripts/bench-peers.sh
fi
printf "\nThe benchmark took %d min %02d s.\n" $(((SECONDS - script_started) / 60)) $(((SECONDS - script_started) % 60))
