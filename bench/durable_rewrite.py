#!/usr/bin/env python3
"""Rewrites every file of a tree in place as durably as Keystrel does, as a
yardstick for folder batches: the new content (here the old bytes behind a
17-byte header, or without it) goes to a temporary file beside the original,
is flushed to disk, and is renamed over it; the folder is flushed after.

  durable_rewrite.py each TREE     per file: write, fdatasync, rename, fsync folder
  durable_rewrite.py grouped TREE  256 files at a time: write them all, one
                                   syncfs, the renames, one fsync per folder

Prints "files=N seconds=S files_per_second=R".
"""
import ctypes
import os
import sys
import time

HEADER = b"has been encrypt\0"
GROUP = 256
libc = ctypes.CDLL(None, use_errno=True)


def transformed(data):
    return data[len(HEADER):] if data.startswith(HEADER) else HEADER + data


def files_of(tree):
    for folder, dirs, names in os.walk(tree):
        dirs.sort()
        for name in sorted(names):
            if not name.startswith("."):
                yield folder, name


def write_temp(folder, name):
    path = os.path.join(folder, name)
    with open(path, "rb") as f:
        data = f.read()
    temp = os.path.join(folder, "." + name + ".tmp")
    fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    os.write(fd, transformed(data))
    return fd, temp, path


def fsync_folder(folder):
    fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    os.fsync(fd)
    os.close(fd)


def each(tree):
    count = 0
    for folder, name in files_of(tree):
        fd, temp, path = write_temp(folder, name)
        os.fdatasync(fd)
        os.close(fd)
        os.rename(temp, path)
        fsync_folder(folder)
        count += 1
    return count


def grouped(tree):
    count = 0
    pending = []

    def flush():
        if not pending:
            return
        anchor = os.open(tree, os.O_RDONLY | os.O_DIRECTORY)
        libc.syncfs(anchor)
        os.close(anchor)
        folders = set()
        for fd, temp, path in pending:
            os.close(fd)
            os.rename(temp, path)
            folders.add(os.path.dirname(path))
        for folder in sorted(folders):
            fsync_folder(folder)
        pending.clear()

    for folder, name in files_of(tree):
        pending.append(write_temp(folder, name))
        count += 1
        if len(pending) == GROUP:
            flush()
    flush()
    return count


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("each", "grouped"):
        sys.exit(__doc__)
    start = time.monotonic()
    count = (each if sys.argv[1] == "each" else grouped)(sys.argv[2])
    seconds = time.monotonic() - start
    print("files=%d seconds=%.4f files_per_second=%.0f" % (count, seconds, count / seconds if seconds else 0))


if __name__ == "__main__":
    main()
