"""Runs keystrel-cli on recording-fs, then checks every crash state that a
power cut could leave of each run (crash_states.py). scripts/check-power-cut.sh
runs it; exit status 0 when every state keeps the promise, 1 when one does
not (the first is described), 77 when FUSE is not at hand here."""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

from crash_states import Explorer
from next_run import NextRun, lay_out
from promise import NotModelled, Promise
from recording import Recording

HEADER = b"has been encrypt\0"
KEY = "4b8b92b0f10cb41fd91d9cbc42023f83"
IV = "5e5d3044342076ff1a94f8653215f47a"
SKIPPED = 77
MiB = 1 << 20


def encrypted(plain):
    """The file keystrel-cli makes of `plain`, by openssl: the header, then
    AES-128-CBC of the bytes padded with spaces to whole blocks."""
    padded = plain + b" " * (-len(plain) % 16)
    cipher = subprocess.run(
        ["openssl", "enc", "-aes-128-cbc", "-nopad", "-K", KEY, "-iv", IV],
        input=padded,
        capture_output=True,
        check=True,
    ).stdout
    return HEADER + cipher


class MountFailed(Exception):
    pass


class Run:
    def __init__(self, name, command, files, target="data", samples=4, capacity=None, full_disk=False, as_ext4=False,
                 failing_flush=0, default=True):
        self.name, self.command, self.full_disk, self.default = name, command, full_disk, default
        self.target = target  # what keystrel-cli is given, from the root
        # Through FlushShim.cpp's as-ext4: the road the engine takes on ext4.
        self.as_ext4 = as_ext4
        self.failing_flush = failing_flush  # which flush fails with EIO, from 1
        self.samples = samples  # sampled ext4-ordered states per cut
        self.capacity = capacity  # free bytes beyond the files, for a full disk
        self.plain = files  # relative path -> plain bytes

    def expectations(self):
        """The files' bytes before and after, by relative path."""
        old, new = {}, {}
        for path, plain in self.plain.items():
            cipher = encrypted(plain)
            old[path], new[path] = (plain, cipher) if self.command == "encrypt" else (cipher, plain)
        return old, new


def plain_bytes(rng, size):
    # Never a space at the end: decryption takes up to 15 of them off.
    return rng.randbytes(size - 1) + b"x" if size else b""


def folder_files(rng, count, top="data"):
    """`count` small files in folders three deep, some beside the folders."""
    files = {}
    for i in range(count):
        depth = i % 4
        folders = [top] + ["d%d" % (i % (3 + j) + j * 10) for j in range(depth)]
        name = "f%04d.bin" % i if i % 7 else "文件%04d.txt" % i
        files["/".join(folders + [name]).encode()] = plain_bytes(rng, rng.choice((1, 15, 16, 17, 1000, 4096, 9000)))
    return files


def runs(seed):
    rng = random.Random(seed)
    large = {b"data/large.bin": plain_bytes(rng, 72 * MiB + 4321)}
    batch = folder_files(rng, 600)
    small = folder_files(rng, 40)
    # Among the small files, one larger than the room left: the disk fills
    # in each group, and that file never fits.
    filling = dict(batch)
    filling[b"data/d1/too-large.bin"] = plain_bytes(rng, 400 * 1024)
    return [
        Run("large file, encrypt", "encrypt", large, target="data/large.bin", samples=10),
        Run("large file, decrypt", "decrypt", large, target="data/large.bin", samples=10),
        Run("folder batch, encrypt", "encrypt", batch),
        Run("folder batch, decrypt", "decrypt", batch),
        Run("folder batch, encrypt, as on ext4 (a syncfs a group)", "encrypt", batch, as_ext4=True),
        Run("folder batch, a file's flush fails", "encrypt", batch, failing_flush=300),
        Run("folder batch, as on ext4, a group's syncfs fails", "encrypt", batch, as_ext4=True, failing_flush=2),
        Run("folder batch meets a full disk", "encrypt", filling, capacity=150 * 1024, full_disk=True),
        Run("small folder batch, encrypt", "encrypt", small, default=False),
    ]


def unmount(mount_point):
    if shutil.which("fusermount3"):
        if subprocess.run(["fusermount3", "-u", mount_point]).returncode == 0:
            return
    subprocess.run(["umount", mount_point])


def record(run, old, options, work):
    """Runs keystrel-cli on recording-fs; returns the recording."""
    seed, mount_point = os.path.join(work, "seed"), os.path.join(work, "mnt")
    os.makedirs(mount_point)
    lay_out(seed, old)
    log, data = os.path.join(work, "log"), os.path.join(work, "data.bin")
    command = [options.recorder, mount_point, "--seed", seed, "--log", log, "--data", data]
    if run.capacity is not None:
        command += ["--capacity", str(sum(len(b) for b in old.values()) + run.capacity)]
    if run.failing_flush:
        command += ["--fail-flush", str(run.failing_flush)]
    recorder = subprocess.Popen(command, stdout=subprocess.PIPE)
    if recorder.stdout.readline() != b"ready\n":
        recorder.wait()
        raise MountFailed("recording-fs could not mount on " + mount_point)
    env = dict(os.environ)
    preload = [options.preload] if options.preload else []
    if run.as_ext4:
        preload += [] if options.shim in preload else [options.shim]
        env["KEYSTREL_SHIM"] = ",".join(w for w in (env.get("KEYSTREL_SHIM"), "as-ext4") if w)
        env["KEYSTREL_SYNCFS_CONTROL"] = os.path.join(mount_point, "syncfs.ctl")
    if preload:
        env["LD_PRELOAD"] = ":".join(preload)
    try:
        with open(os.path.join(mount_point, "console.log"), "wb", buffering=0) as console:
            status = subprocess.run(
                [options.cli, run.command, os.path.join(mount_point, run.target)],
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=console,
                env=env,
                timeout=900,
            ).returncode
    finally:
        unmount(mount_point)
        recorder.wait()
    shutil.rmtree(seed)
    recording = Recording(log, data, mount_point)
    recording.finish(status)
    return recording, status


def what_the_run_did(run, recording, status, new):
    """The run as a kill would leave it, which must be what was asked;
    otherwise the crash states prove nothing."""
    live = {}
    for folder, entries in recording.live.items():
        for name, ino in entries.items():
            live[recording.path_of(folder, name)] = ino
    done = sum(1 for path in new if path in live and recording.live_holds(live[path], new[path]))
    refused = sum(1 for e in recording.events if e.kind == "refused")
    kinds = {e.kind for e in recording.events}
    if run.as_ext4 and "syncfs" not in kinds and "fsync" in kinds:
        return "keystrel-cli flushed each file, not a syncfs a group: not the road it takes on ext4"
    if run.full_disk or run.failing_flush:
        if status == 1 and refused and 0 < done < len(new):
            return None
        return "nothing failed as planned (status %d, %d of %d done)" % (status, done, len(new))
    return None if status == 0 and done == len(new) else "keystrel-cli did not do it (status %d)" % status


def check(run, options):
    started = time.monotonic()
    old, new = run.expectations()
    with tempfile.TemporaryDirectory(prefix="keystrel-powercut.") as work:
        recording, status = record(run, old, options, work)
    wrong = what_the_run_did(run, recording, status, new)
    rng = random.Random(options.seed ^ zlib.crc32(run.name.encode()))
    samples = options.samples if options.samples is not None else run.samples
    result = Explorer(recording, Promise(recording, old, new), rng, samples).explore()
    flushes = sum(1 for e in recording.events if e.kind in ("fsync", "fsyncdir", "syncfs"))
    lines = sum(1 for e in recording.events if e.kind == "console")
    print("%s: %d operations recorded (%d flushes, %d console writes), exit status %d"
          % (run.name, result.events, flushes, lines, status))
    made = ", ".join("%d %s made %d writes and %d changes of names durable" % (n, kind, data, names)
                     for kind, (n, data, names) in sorted(result.made_durable.items()))
    print("    " + (made or "no flush"))
    print("    crash states checked: %d strict, %d ext4-ordered (seed %d)"
          % (result.states["strict"], result.states["ext4-ordered"], options.seed))
    print("    states that keep a temporary file: %d, at most %d in one (states with one %s)"
          % (result.states_with_leftovers, result.most_leftovers,
             ", ".join("%s: %d" % kv for kv in result.leftovers.items())))
    broken = sum(result.failed.values())
    if wrong:
        print("    verdict: NOT CHECKED: " + wrong)
    elif broken:
        print("    verdict: BROKEN in %d states (strict %d, ext4-ordered %d); the first:"
              % (broken, result.failed["strict"], result.failed["ext4-ordered"]))
        print("\n".join("        " + line for line in result.first_failure.split("\n")))
    else:
        print("    verdict: every state keeps the promise")
    next_run = NextRun()
    for files in result.kept_states.values():
        next_run.meet(options.cli, run.command, run.target, files, new)
    if next_run.states:
        advisory = next_run.unnamed and not options.leftovers_must_go
        note = " (counted with --leftovers-must-go)" if advisory else ""
        print("    the next run on %s%s" % (next_run.summary(), note))
    if next_run.unfinished or (next_run.unnamed and options.leftovers_must_go):
        broken += 1
        print("    verdict: BROKEN by the next run (unfinished: %s)" % ", ".join(next_run.unfinished[:5]))
    print("    %.1f s" % (time.monotonic() - started))
    sys.stdout.flush()
    return "wrong" if wrong else ("broken" if broken else "kept")


def unavailable(options):
    if not sys.platform.startswith("linux"):
        return "FUSE is Linux's here"
    if not options.recorder or not os.access(options.recorder, os.X_OK):
        return "recording-fs was not built (libfuse3-dev was missing when the build was configured)"
    if not os.path.exists("/dev/fuse"):
        return "no /dev/fuse"
    if os.geteuid() != 0 and not shutil.which("fusermount3"):
        return "neither root nor fusermount3"
    if not shutil.which("openssl"):
        return "no openssl command"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--recorder", default="")
    parser.add_argument("--shim", default="", help="FlushShim.cpp's library, for the runs as on ext4")
    parser.add_argument("--runs", default="", help="comma-separated words a run's name must contain")
    parser.add_argument("--seed", type=int, default=30)
    parser.add_argument("--samples", type=int, help="sampled ext4-ordered states per cut (each run has its own)")
    parser.add_argument("--preload", default="", help="LD_PRELOAD for keystrel-cli alone")
    parser.add_argument("--leftovers-must-go", action="store_true",
                        help="count it as broken when the next run neither removes nor names a temporary file")
    parser.add_argument("--expect-broken", action="store_true", help="succeed only if every run breaks the promise")
    options = parser.parse_args()
    reason = unavailable(options)
    if reason:
        print("SKIPPED: " + reason)
        return SKIPPED
    words = [w for w in options.runs.split(",") if w]
    chosen = [run for run in runs(options.seed) if (any(w in run.name for w in words) if words else run.default)]
    if not chosen:
        print("no run is named like " + options.runs)
        return 2
    try:
        verdicts = [check(run, options) for run in chosen]
    except NotModelled as refusal:
        print("NOT CHECKED: " + str(refusal))
        return 1
    except MountFailed as error:
        print("SKIPPED: %s" % error)
        return SKIPPED
    if options.expect_broken:
        return 0 if all(v == "broken" for v in verdicts) else 1
    return 0 if all(v == "kept" for v in verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
