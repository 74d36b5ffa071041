#!/usr/bin/env bash
# Keystrel against the tools a user would pick instead, on the same data, run
# by hand (scripts/bench.sh calls it at its end):
#   - one file in place: ours (flushed, renamed, folder flushed), the shell's
#     durable rewrite (openssl enc to a file beside it, sync, mv, sync DIR),
#     openssl enc to a new file, ccrypt in place and with -T, gpg -c (AES128,
#     no compression), age, 7zz a -mx=0 -p, and the disk's own floor: dd of
#     the same bytes with conv=fdatasync;
#   - a folder of small files in place: ours (durable), keystrel-cli's
#     whole process and the form's batch alone, against ccrypt -r.
# Only ours, the shell's rewrite and dd flush: the others leave their output
# in the page cache. Every contender runs in every round, who goes first
# changing from round to round; the figures are medians of wall times.
#
# Environment (as scripts/bench.sh): KEYSTREL_BENCH_BUILD, KEYSTREL_BENCH_DIR,
# KEYSTREL_BENCH_MIB, KEYSTREL_BENCH_ROUNDS, KEYSTREL_BENCH_REFERENCE, and
#   KEYSTREL_BENCH_PEER_FILES  small files of the folder (10000; 0: none)
#   KEYSTREL_BENCH_PER_FOLDER  files per sub-folder (100)
#   KEYSTREL_BENCH_SKIP_BUILD  set: the build is there already
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_NUMERIC=C

build=${KEYSTREL_BENCH_BUILD:-build-bench}
mib=${KEYSTREL_BENCH_MIB:-256}
rounds=${KEYSTREL_BENCH_ROUNDS:-5}
files=${KEYSTREL_BENCH_PEER_FILES:-10000}
per_folder=${KEYSTREL_BENCH_PER_FOLDER:-100}
reference=${KEYSTREL_BENCH_REFERENCE:-}
started=$SECONDS

if [ -z "${KEYSTREL_BENCH_SKIP_BUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEYSTREL_BUILD_BENCH=ON \
        -DKEYSTREL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j 2 --target keystrel_bench_files keystrel-cli >/dev/null
fi
ours=$(realpath "$build/bin/keystrel_bench_files")
ours_cli=$(realpath "$build/bin/keystrel-cli")
[ -z "$reference" ] || reference=$(realpath "$reference")
# The reference's command line, where its build has one beside it.
reference_cli=
[ -z "$reference" ] || [ ! -x "$(dirname "$reference")/keystrel-cli" ] || reference_cli=$(dirname "$reference")/keystrel-cli
for tool in ccrypt gpg age age-keygen 7zz openssl dd; do
    command -v "$tool" >/dev/null || { echo "bench-peers: $tool is missing (apt-get install ccrypt gnupg age 7zip openssl)" >&2; exit 1; }
done

data=$(mktemp -d "${KEYSTREL_BENCH_DIR:-/var/tmp}/keystrel-peers.XXXXXX")
trap 'rm -rf "$data"' EXIT
log=$data/peers.log
export GNUPGHOME=$data/gnupg
mkdir -m 700 "$GNUPGHOME"
age-keygen -o "$data/age.key" 2>>"$log"
age_recipient=$(sed -n 's/^# public key: //p' "$data/age.key")
read -r aes_key aes_iv < <("$ours" key 2>>"$log")
pass=keystrel-bench

declare -A samples
note() { samples[$1]="${samples[$1]:-} $2"; }
median() {
    tr ' ' '\n' <<<"${samples[$1]:-}" | sed '/^$/d' | sort -g |
        awk '{ v[NR] = $1 } END { if (!NR) printf "n/a"; else printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else printf "n/a" }'; }

# As in scripts/bench.sh: memory taken and given back before each step, so
# that every contender meets the same warm state.
warm_memory() {
    [ -d /dev/shm ] || return 0
    head -c $(((mib + 64) * 1024 * 1024)) /dev/zero >/dev/shm/keystrel-peers-warm 2>/dev/null || true
    rm -f /dev/shm/keystrel-peers-warm
}
# timed KEY COMMAND...: the command's wall time as a sample of KEY, after
# sync and with memory warmed. Ours also reports its operation alone.
timed() {
    local key=$1 t0 t1 alone
    shift
    sync
    warm_memory
    t0=$EPOCHREALTIME
    "$@" >"$data/out" 2>>"$log" || { echo "bench-peers: failed: $*" >&2; tail -5 "$log" >&2; exit 1; }
    t1=$EPOCHREALTIME
    note "$key" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')"
    alone=$(sed -n 's/.* seconds=\([^ ]*\).*/\1/p' "$data/out" | tail -1)
    [ -z "$alone" ] || note "$key/alone" "$alone"
}

# ---- One file -------------------------------------------------------------
shell_rewrite() { # MODE FILE
    local flags=()
    [ "$1" = decrypt ] && flags=(-d)
    openssl enc "${flags[@]}" -aes-128-cbc -nopad -K "$aes_key" -iv "$aes_iv" -in "$2" -out "$2.tmp" &&
        sync "$2.tmp" && mv "$2.tmp" "$2" && sync "$(dirname "$2")"
}
file_step() { # CONTENDER MODE
    local c=$1 mode=$2 d=$data/file e=encrypt suffix=
    [ "$mode" = decrypt ] && e= && suffix=.cpt
    case $c in
    ours | reference)
        local program=$ours
        [ "$c" = reference ] && program=$reference
        timed "file/$c/$mode" "$program" "$mode" "$d/$c.bin"
        ;;
    shell) timed "file/$c/$mode" shell_rewrite "$mode" "$d/shell.bin" ;;
    openssl)
        if [ -n "$e" ]; then
            timed "file/$c/$mode" openssl enc -aes-128-cbc -nopad -K "$aes_key" -iv "$aes_iv" -in "$d/plain.bin" -out "$d/ossl.enc"
        else
            timed "file/$c/$mode" openssl enc -d -aes-128-cbc -nopad -K "$aes_key" -iv "$aes_iv" -in "$d/ossl.enc" -out "$d/ossl.dec"
        fi
        ;;
    ccrypt) timed "file/$c/$mode" ccrypt "-${mode:0:1}" -f -K "$pass" "$d/ccrypt.bin$suffix" ;;
    ccrypt-T) timed "file/$c/$mode" ccrypt "-${mode:0:1}" -T -f -K "$pass" "$d/ccryptT.bin$suffix" ;;
    gpg)
        if [ -n "$e" ]; then
            timed "file/$c/$mode" gpg --batch --yes --pinentry-mode loopback --passphrase "$pass" -c \
                --cipher-algo AES128 --compress-algo none -o "$d/gpg.gpg" "$d/plain.bin"
        else
            timed "file/$c/$mode" gpg --batch --yes --pinentry-mode loopback --passphrase "$pass" -d \
                -o "$d/gpg.dec" "$d/gpg.gpg"
        fi
        ;;
    age)
        if [ -n "$e" ]; then
            timed "file/$c/$mode" age -r "$age_recipient" -o "$d/age.age" "$d/plain.bin"
        else
            timed "file/$c/$mode" age -d -i "$data/age.key" -o "$d/age.dec" "$d/age.age"
        fi
        ;;
    7zz)
        if [ -n "$e" ]; then
            rm -f "$d/7z.7z"
            timed "file/$c/$mode" 7zz a -mx=0 "-p$pass" "$d/7z.7z" "$d/plain.bin"
        else
            rm -rf "$d/7z.out"
            timed "file/$c/$mode" 7zz x -y "-p$pass" "-o$d/7z.out" "$d/7z.7z"
        fi
        ;;
    dd) timed "file/$c/$mode" dd if="$d/plain.bin" of="$d/dd.bin" bs=4M conv=fdatasync status=none ;;
    esac
}
in_turn() { # ROUND STEP MODE CONTENDER...
    local round=$1 step=$2 mode=$3 i
    shift 3
    local all=("$@")
    for ((i = 0; i < ${#all[@]}; i++)); do
        "$step" "${all[(i + round) % ${#all[@]}]}" "$mode"
    done
}

file_contenders=(ours shell openssl ccrypt ccrypt-T gpg age 7zz dd ${reference:+reference})
if ((rounds > 0 && mib > 0)); then
    mkdir -p "$data/file"
    echo "Peers: making ${mib} MiB of data..." >&2
    head -c $((mib * 1024 * 1024 - 1)) /dev/urandom >"$data/file/plain.bin"
    printf 'x' >>"$data/file/plain.bin"
    for c in ours shell ccrypt ccryptT reference; do
        cp "$data/file/plain.bin" "$data/file/$c.bin"
    done
    for round in $(seq "$rounds"); do
        echo "Peers: file round $round/$rounds..." >&2
        in_turn "$round" file_step encrypt "${file_contenders[@]}"
        cmp -s -i 17:0 "$data/file/ours.bin" "$data/file/ossl.enc" || { echo "bench-peers: ciphertext differs from openssl's" >&2; exit 1; }
        in_turn "$round" file_step decrypt "${file_contenders[@]}"
        for f in ours.bin shell.bin ccrypt.bin ccryptT.bin ossl.dec gpg.dec age.dec 7z.out/plain.bin ${reference:+reference.bin}; do
            cmp -s "$data/file/$f" "$data/file/plain.bin" || { echo "bench-peers: $f does not match the original" >&2; exit 1; }
        done
    done
    rm -rf "$data/file"
fi

# ---- A folder of small files ----------------------------------------------
batch_step() { # CONTENDER MODE
    local c=$1 mode=$2 tree=$data/batch/$1
    case $c in
    ours) timed "batch/$c/$mode" "$ours" batch "$tree" ;;
    cli) timed "batch/$c/$mode" "$ours_cli" -q "$mode" "$tree" ;;
    reference) timed "batch/$c/$mode" "$reference" batch "$tree" ;;
    reference-cli) timed "batch/$c/$mode" "$reference_cli" -q "$mode" "$tree" ;;
    ccrypt) timed "batch/$c/$mode" ccrypt "-${mode:0:1}" -r -f -K "$pass" "$tree" ;;
    esac
}
batch_contenders=(cli ours ccrypt ${reference:+reference} ${reference_cli:+reference-cli})
if ((rounds > 0 && files > 0)); then
    mkdir -p "$data/batch"
    echo "Peers: making $files small files..." >&2
    "$ours" make-batch "$data/batch/master" "$files" "$per_folder" 2>>"$log"
    for round in $(seq "$rounds"); do
        echo "Peers: folder round $round/$rounds..." >&2
        for c in "${batch_contenders[@]}"; do
            rm -rf "$data/batch/$c"
            cp -a "$data/batch/master" "$data/batch/$c"
        done
        in_turn "$round" batch_step encrypt "${batch_contenders[@]}"
        in_turn "$round" batch_step decrypt "${batch_contenders[@]}"
        for c in "${batch_contenders[@]}"; do
            diff -rq "$data/batch/master" "$data/batch/$c" >/dev/null || { echo "bench-peers: $c did not restore the folder" >&2; exit 1; }
        done
    done
    rm -rf "$data/batch"
fi

# ---- The table ------------------------------------------------------------
printf "\nAgainst the tools users pick instead (medians of %s interleaved rounds, wall seconds of the whole process;\n" "$rounds"
printf "ours alone: the operation without Qt's start-up, as in the tables above)\n"
if ((rounds > 0 && mib > 0)); then
    floor_enc=$(median file/dd/encrypt)
    floor_dec=$(median file/dd/decrypt)
    printf "\n  One file, %s MiB          %9s %9s %8s %8s   %s\n" "$mib" encrypt decrypt "/floor" "/floor" "flushed?"
    row() { # LABEL ENCRYPT-KEY DECRYPT-KEY FLUSHED
        local enc dec
        enc=$(median "$2")
        dec=$(median "$3")
        printf "  %-26s %9s %9s %8s %8s   %s\n" "$1" "$enc" "$dec" "$(ratio "$enc" "$floor_enc")" "$(ratio "$dec" "$floor_dec")" "$4"
    }
    row "ours alone" file/ours/encrypt/alone file/ours/decrypt/alone "yes, in place"
    row "ours (process)" file/ours/encrypt file/ours/decrypt "yes, in place"
    [ -z "$reference" ] || row "reference alone" file/reference/encrypt/alone file/reference/decrypt/alone "yes, in place"
    row "shell durable rewrite" file/shell/encrypt file/shell/decrypt "yes (sync FILE, sync DIR)"
    row "dd conv=fdatasync (floor)" file/dd/encrypt file/dd/decrypt "yes (fdatasync)"
    row "openssl enc, new file" file/openssl/encrypt file/openssl/decrypt "no"
    row "ccrypt, in place" file/ccrypt/encrypt file/ccrypt/decrypt "no"
    row "ccrypt -T" file/ccrypt-T/encrypt file/ccrypt-T/decrypt "no"
    row "gpg -c AES128, no compr." file/gpg/encrypt file/gpg/decrypt "no"
    row "age (X25519 recipient)" file/age/encrypt file/age/decrypt "no"
    row "7zz a -mx=0 -p" file/7zz/encrypt file/7zz/decrypt "no"
fi
if ((rounds > 0 && files > 0)); then
    printf "\n  %s small files in folders of %s   %9s %9s   (files per second)\n" "$files" "$per_folder" encrypt decrypt
    # keystrel-cli is timed whole, as ccrypt is; the form's process also
    # shows and closes a window, so its batch is timed alone.
    for c in "${batch_contenders[@]}"; do
        case $c in
        cli) label="keystrel-cli (process)" alone= ;;
        reference-cli) label="reference keystrel-cli" alone= ;;
        ccrypt) label="ccrypt -r, in place, no flush" alone= ;;
        ours) label="the form's batch alone" alone=/alone ;;
        *) label="$c, the form's batch alone" alone=/alone ;;
        esac
        enc=$(median "batch/$c/encrypt$alone")
        dec=$(median "batch/$c/decrypt$alone")
        printf "  %-36s %9s %9s\n" "$label" "$(awk -v n="$files" -v s="$enc" 'BEGIN { printf "%.0f", n / s }')" \
            "$(awk -v n="$files" -v s="$dec" 'BEGIN { printf "%.0f", n / s }')"
    done
    printf "  %-36s %9s %9s   (speed; target 1.00 or more)\n" "keystrel-cli / ccrypt -r" \
        "$(ratio "$(median batch/ccrypt/encrypt)" "$(median batch/cli/encrypt)")" \
        "$(ratio "$(median batch/ccrypt/decrypt)" "$(median batch/cli/decrypt)")"
    printf "  %-36s %9s %9s\n" "the form alone / ccrypt -r" \
        "$(ratio "$(median batch/ccrypt/encrypt)" "$(median batch/ours/encrypt/alone)")" \
        "$(ratio "$(median batch/ccrypt/decrypt)" "$(median batch/ours/decrypt/alone)")"
fi
printf "  Ours, the shell's rewrite and dd put the bytes on disk before they end; the others leave them in the page cache.\n"
printf "\nThe comparison with peers took %d min %02d s.\n" $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60))
