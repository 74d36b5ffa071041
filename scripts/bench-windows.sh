#!/usr/bin/env bash
# keystrel-cli.exe under Wine against the Linux keystrel-cli, by hand (not in
# CI). First checks that files move freely between the two, both ways, and
# that both write the bytes `openssl enc -aes-128-cbc` writes behind the
# header; then times, in interleaved rounds (who goes first alternating), a
# large file encrypted and decrypted in place and a folder of small files
# encrypted and decrypted as one batch, and prints medians.
#
# Needs build/bin/keystrel-cli (the Linux build) and build-win's zip
# (scripts/build-windows.sh).
# Environment:
#   KEYSTREL_BENCH_DIR    parent of the data folder (/var/tmp: a real disk)
#   KEYSTREL_BENCH_MIB    the large file (256)
#   KEYSTREL_BENCH_FILES  the batch (2000)
#   KEYSTREL_BENCH_ROUNDS rounds (3)
set -euo pipefail
cd "$(dirname "$0")/.."

mib=${KEYSTREL_BENCH_MIB:-256}
count=${KEYSTREL_BENCH_FILES:-2000}
rounds=${KEYSTREL_BENCH_ROUNDS:-3}
linux=$PWD/build/bin/keystrel-cli
zip=$(ls build-win/Keystrel-*-win64.zip)
[ -x "$linux" ] || { echo "no $linux: build the Linux tree first" >&2; exit 1; }

work=$(mktemp -d "${KEYSTREL_BENCH_DIR:-/var/tmp}/keystrel-winbench.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
(cd "$work" && unzip -q "$OLDPWD/$zip")
windows=$(ls -d "$work"/Keystrel-*-win64)/keystrel-cli.exe
wine_cli() { wine "$windows" -q "$1" "$(winepath -w "$2")"; }
linux_cli() { "$linux" -q "$1" "$2"; }

# The same bytes both ways, and openssl's.
key=4b8b92b0f10cb41fd91d9cbc42023f83
iv=5e5d3044342076ff1a94f8653215f47a
check() {
    local plain=$work/check.txt
    printf '跨系统的文件 %s\n' "$(seq 1 500 | tr '\n' ' ')" >"$plain"
    cp "$plain" "$work/by-wine.txt"
    cp "$plain" "$work/by-linux.txt"
    wine_cli encrypt "$work/by-wine.txt"
    linux_cli encrypt "$work/by-linux.txt"
    cmp "$work/by-wine.txt" "$work/by-linux.txt"
    tail -c +18 "$work/by-linux.txt" >"$work/body"
    openssl enc -d -aes-128-cbc -K $key -iv $iv -nopad -in "$work/body" -out "$work/plain-by-openssl"
    # The plain text, padded with spaces to the block.
    cmp <(head -c "$(stat -c %s "$plain")" "$work/plain-by-openssl") "$plain"
    linux_cli decrypt "$work/by-wine.txt"
    wine_cli decrypt "$work/by-linux.txt"
    cmp "$work/by-wine.txt" "$plain"
    cmp "$work/by-linux.txt" "$plain"
    echo "check: keystrel-cli.exe under Wine and keystrel-cli on Linux write the same bytes, openssl reads them, each decrypts the other's"
}
check

seconds() {
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
median() { sort -g | awk '{v[NR]=$1} END{print v[int((NR+1)/2)]}'; }

head -c $((mib << 20)) /dev/urandom >"$work/large.bin"
mkdir "$work/batch"
for i in $(seq -w 1 "$count"); do printf 'file %s\n' "$i" >"$work/batch/f$i.txt"; done
declare -A times
for round in $(seq "$rounds"); do
    order="linux wine"
    [ $((round % 2)) -eq 0 ] && order="wine linux"
    for who in $order; do
        run=${who}_cli
        times[$who-large]+="$(seconds $run encrypt "$work/large.bin") $(seconds $run decrypt "$work/large.bin") "
        times[$who-batch]+="$(seconds $run encrypt "$work/batch") $(seconds $run decrypt "$work/batch") "
    done
done
[ -z "$(ls -A "$work/batch" | grep -v '^f[0-9]*\.txt$')" ] || { echo "left behind in the batch folder:" >&2; ls -A "$work/batch" | grep -v '^f[0-9]*\.txt$' >&2; }

pair() { # median of encrypts, median of decrypts
    local values=(${times[$1]})
    local e="" d=""
    for ((i = 0; i < ${#values[@]}; i += 2)); do e+="${values[i]}\n"; d+="${values[i + 1]}\n"; done
    printf '%s %s' "$(printf "$e" | median)" "$(printf "$d" | median)"
}
printf '%-34s %12s %12s\n' "medians of $rounds rounds, seconds" "encrypt" "decrypt"
for who in linux wine; do
    read -r e d <<<"$(pair $who-large)"
    printf '%-34s %12.2f %12.2f\n' "$who: $mib MiB file in place" "$e" "$d"
    read -r e d <<<"$(pair $who-batch)"
    printf '%-34s %12.2f %12.2f\n' "$who: $count files, one batch" "$e" "$d"
done
