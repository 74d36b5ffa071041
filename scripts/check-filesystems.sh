#!/bin/sh
# Checks keystrel-cli on the file systems users have and under limits, on
# real mounts: ntfs-3g, exfat-fuse, sshfs (to a local sftp-server), kernel
# vfat with showexec, a nearly full tmpfs, a low open-file limit, a deep
# tree, and an ext4 on a disk whose blocks fail during the write-back. Needs root (loop and FUSE mounts); prints PASS, FAIL or SKIP per
# item and exits non-zero if any failed.
#
#   sudo scripts/check-filesystems.sh [build/bin/keystrel-cli]
set -u

CLI=$(realpath "${1:-build/bin/keystrel-cli}")
[ -x "$CLI" ] || { echo "no keystrel-cli at $CLI" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "run as root" >&2; exit 2; }
WORK=$(mktemp -d /tmp/keystrel-fs.XXXXXX) && chmod 755 "$WORK" # the sftp server runs as nobody
FAILED=0
MOUNTS=""

cleanup() {
    for m in $MOUNTS; do umount "$m" 2>/dev/null || fusermount -u "$m" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT

pass() { echo "PASS  $1"; }
fail() { echo "FAIL  $1${2:+: $2}"; FAILED=1; }
skip() { echo "SKIP  $1: $2"; }
have() { command -v "$1" >/dev/null 2>&1; }
encrypted() { [ "$(head -c 16 "$1")" = "has been encrypt" ]; }

# Ten small files in $1/batch.
make_batch() {
    mkdir -p "$1/batch"
    for i in 0 1 2 3 4 5 6 7 8 9; do echo "content $i" >"$1/batch/f$i.txt"; done
}

# Every new file of a batch flushed on its own before the first rename, and
# no syncfs (which a FUSE server never hears of).
check_flush_order() {
    name=$1 dir=$2
    strace -f -qq -e trace=fsync,syncfs,renameat,renameat2 -o "$WORK/trace" "$CLI" -q encrypt "$dir" 2>/dev/null
    before=$(awk '/rename/ { exit } /fsync\(/ { n++ } END { print n + 0 }' "$WORK/trace")
    if grep -q syncfs "$WORK/trace"; then
        fail "$name: each file flushed before its rename" "syncfs used"
    elif [ "$before" -ge 10 ] && [ "$(ls "$dir" | wc -l)" = 10 ] && encrypted "$dir/f9.txt"; then
        pass "$name: each file flushed before its rename ($before flushes before the first rename)"
    else
        fail "$name: each file flushed before its rename" "$before flushes before the first rename"
    fi
}

check_ntfs() {
    have ntfs-3g && have mkntfs && have setfattr || { skip "ntfs-3g" "ntfs-3g, mkntfs or attr missing"; return; }
    img=$WORK/ntfs.img mnt=$WORK/ntfs
    mkdir -p "$mnt" && truncate -s 64M "$img" && mkntfs -F -q -f "$img" >/dev/null 2>&1
    ntfs-3g -o loop "$img" "$mnt" || { skip "ntfs-3g" "mount failed"; return; }
    MOUNTS="$mnt $MOUNTS"
    echo secret >"$mnt/hidden.txt"
    setfattr -n system.ntfs_attrib_be -v 0x00000022 "$mnt/hidden.txt"
    attrib=$(getfattr -e hex --only-values -n system.ntfs_attrib_be "$mnt/hidden.txt" 2>/dev/null | od -An -tx1 | tr -d ' \n')
    crtime=$(getfattr -e hex -n system.ntfs_crtime_be "$mnt/hidden.txt" 2>/dev/null | grep =)
    "$CLI" -q encrypt "$mnt/hidden.txt"
    attrib_after=$(getfattr -e hex --only-values -n system.ntfs_attrib_be "$mnt/hidden.txt" 2>/dev/null | od -An -tx1 | tr -d ' \n')
    crtime_after=$(getfattr -e hex -n system.ntfs_crtime_be "$mnt/hidden.txt" 2>/dev/null | grep =)
    if encrypted "$mnt/hidden.txt" && [ "$attrib" = "$attrib_after" ] && [ "$crtime" = "$crtime_after" ]; then
        pass "ntfs-3g: Windows attributes ($attrib_after) and creation time kept"
    else
        fail "ntfs-3g: Windows attributes and creation time kept" "$attrib -> $attrib_after, $crtime -> $crtime_after"
    fi
    make_batch "$mnt"
    check_flush_order ntfs-3g "$mnt/batch"
}

check_exfat() {
    have mkfs.exfat && have mount.exfat-fuse || { skip "exfat-fuse" "exfatprogs or exfat-fuse missing"; return; }
    img=$WORK/exfat.img mnt=$WORK/exfat
    mkdir -p "$mnt" && truncate -s 64M "$img" && mkfs.exfat "$img" >/dev/null 2>&1
    loop=$(losetup -f --show "$img" 2>/dev/null) || { skip "exfat-fuse" "no loop device"; return; }
    mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1 || { losetup -d "$loop"; skip "exfat-fuse" "mount failed"; return; }
    MOUNTS="$mnt $MOUNTS"
    make_batch "$mnt"
    check_flush_order exfat-fuse "$mnt/batch"
    umount "$mnt" && losetup -d "$loop"
}

check_vfat() {
    have mkfs.vfat || { skip "vfat showexec" "dosfstools missing"; return; }
    img=$WORK/vfat.img mnt=$WORK/vfat
    mkdir -p "$mnt" && truncate -s 32M "$img" && mkfs.vfat "$img" >/dev/null 2>&1
    mount -o loop,showexec,umask=000 "$img" "$mnt" 2>/dev/null || { skip "vfat showexec" "the kernel cannot mount vfat here"; return; }
    MOUNTS="$mnt $MOUNTS"
    echo run >"$mnt/run.bat" && echo text >"$mnt/note.txt"
    # Not the mount's owner: every mode change is refused, writing is not.
    runuser -u nobody -- "$CLI" -q encrypt "$mnt/run.bat" "$mnt/note.txt"
    if encrypted "$mnt/run.bat" && encrypted "$mnt/note.txt"; then
        pass "vfat showexec: files a plain save would handle are encrypted"
    else
        fail "vfat showexec: files a plain save would handle are encrypted"
    fi
}

check_sshfs() {
    server=/usr/lib/openssh/sftp-server
    have sshfs && [ -x "$server" ] || { skip "sshfs" "sshfs or sftp-server missing"; return; }
    remote=$WORK/remote mnt=$WORK/sshfs
    mkdir -p "$remote" "$mnt" && chown nobody "$remote"
    # The server runs as an ordinary user, as on another machine.
    printf '#!/bin/sh\ncd %s && exec runuser -u nobody -- %s\n' "$remote" "$server" >"$WORK/ssh"
    chmod 755 "$WORK/ssh"
    sshfs -o ssh_command="$WORK/ssh" "localhost:$remote" "$mnt" || { skip "sshfs" "mount failed"; return; }
    MOUNTS="$mnt $MOUNTS"
    runuser -u nobody -- sh -c "echo keep >'$remote/ro.txt' && chmod 444 '$remote/ro.txt' && mkdir '$remote/d' \
        && echo keep >'$remote/d/ro.txt' && echo go >'$remote/d/rw.txt' && chmod 444 '$remote/d/ro.txt'"
    "$CLI" -q encrypt "$mnt/ro.txt"
    "$CLI" -q encrypt "$mnt/d"
    if [ "$(cat "$remote/ro.txt")" = keep ] && [ "$(cat "$remote/d/ro.txt")" = keep ] && encrypted "$remote/d/rw.txt"; then
        pass "sshfs: read-only (0444) files left alone, alone and in a batch"
    else
        fail "sshfs: read-only (0444) files left alone, alone and in a batch"
    fi
}

check_full_disk() {
    mnt=$WORK/tmpfs
    mkdir -p "$mnt" && mount -t tmpfs -o size=8m tmpfs "$mnt" || { skip "8 MiB tmpfs" "mount failed"; return; }
    MOUNTS="$mnt $MOUNTS"
    mkdir "$mnt/d"
    for i in 0 1 2 3 4 5 6 7 8 9; do head -c 716800 /dev/urandom >"$mnt/d/f$i"; done
    line=$("$CLI" encrypt "$mnt/d" 2>&1 | grep 批量)
    case $line in
    *加密10个*失败0个*) pass "8 MiB tmpfs, ten 700 KiB files: $line" ;;
    *) fail "8 MiB tmpfs, ten 700 KiB files" "$line" ;;
    esac
}

check_low_limit() {
    dir=$WORK/many
    for d in $(seq -w 0 99); do
        mkdir -p "$dir/d$d"
        for f in 0 1 2 3 4 5 6 7 8 9; do echo "file $f" >"$dir/d$d/f$f.txt"; done
    done
    line=$(sh -c "ulimit -n 64 && exec '$CLI' encrypt '$dir'" 2>&1 | grep 批量)
    case $line in
    *加密1000个*失败0个*) pass "ulimit -n 64, 1,000 files in 100 folders: $line" ;;
    *) fail "ulimit -n 64, 1,000 files in 100 folders" "$line" ;;
    esac
}

check_deep_tree() {
    dir=$WORK/deep
    python3 - "$dir" <<'EOF'
import os, sys
os.makedirs(sys.argv[1]); os.chdir(sys.argv[1])
for _ in range(1000):
    os.mkdir("d"); os.chdir("d")
open("bottom.txt", "w").write("deep")
EOF
    start=$(date +%s.%N)
    "$CLI" -q encrypt "$dir"
    took=$(echo "$(date +%s.%N) - $start" | bc)
    bottom=$(find "$dir" -name bottom.txt)
    if encrypted "$bottom" && [ "$(echo "$took < 3" | bc)" = 1 ]; then
        pass "1,000-level tree walked and done in ${took}s"
    else
        fail "1,000-level tree walked and done" "${took}s"
    fi
}

# An ext4 (without a journal) on a loop device whose blocks fail with EIO in
# one small range, where the new file's blocks begin: the kernel reports the
# error once, to the call that waits for that range's write-back, and the
# flush after it has nothing to say. The file must fail and keep its bytes.
check_failing_disk() {
    have fusermount3 && have e2fsck && pkg-config --exists fuse3 || { skip "failing disk" "fuse3 or libfuse3-dev missing"; return; }
    tool=$WORK/error-zone
    g++ -std=c++17 -O2 -o "$tool" "$(dirname "$0")/../tests/reliability/tool/ErrorZone.cpp" $(pkg-config --cflags --libs fuse3) ||
        { skip "failing disk" "the error-zone tool does not build"; return; }
    img=$WORK/failing.img zone=$WORK/zone mnt=$WORK/failing arm=$WORK/arm
    mkdir -p "$zone" "$mnt" && truncate -s 512M "$img" && mkfs.ext4 -q -F -O ^has_journal "$img"
    mount -o loop "$img" "$mnt" || { skip "failing disk" "loop mount failed"; return; }
    head -c 120M /dev/urandom >"$mnt/big.bin" && cp "$mnt/big.bin" "$WORK/big.orig"
    fallocate -l 118M "$mnt/filler" # the room before the file taken: new blocks come after
    sync
    end=$(filefrag -v "$mnt/big.bin" "$mnt/filler" | awk '/^ *[0-9]+:/ { e = $5; sub(":", "", e); if (e + 0 > m) m = e + 0 } END { print m }')
    from=$(( (end * 4096 >> 20) + 2 ))
    umount "$mnt"
    "$tool" "$img" "$from" $((from + 4)) "$arm" "$zone" 2>/dev/null &
    MOUNTS="$zone $MOUNTS"
    for _ in $(seq 50); do [ -e "$zone/disk" ] && break; sleep 0.1; done
    loop=$(losetup -f --show "$zone/disk") && mount "$loop" "$mnt" || { skip "failing disk" "loop on FUSE failed"; return; }
    touch "$arm"
    "$CLI" encrypt "$mnt/big.bin" >"$WORK/failing.log" 2>&1
    status=$?
    rm -f "$arm"
    umount "$mnt"; losetup -d "$loop"; fusermount3 -u "$zone"
    e2fsck -fy "$img" >/dev/null 2>&1
    mount -o loop,ro "$img" "$mnt" && MOUNTS="$mnt $MOUNTS"
    if [ "$status" = 1 ] && grep -q "写入文件失败" "$WORK/failing.log" && cmp -s "$mnt/big.bin" "$WORK/big.orig"; then
        pass "failing disk: a write-back error fails the file, which keeps its bytes"
    else
        fail "failing disk: a write-back error fails the file" "status $status, $(tail -n 1 "$WORK/failing.log")"
    fi
}

check_ntfs
check_exfat
check_vfat
check_sshfs
check_full_disk
check_low_limit
check_deep_tree
check_failing_disk
exit $FAILED
