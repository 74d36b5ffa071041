// What tells whether a path still holds the file we looked at: the same
// file (device and inode), not written to, resized, renamed onto or
// re-permissioned since (sizes and both time stamps, to the nanosecond).
#pragma once

#include <sys/stat.h>

struct FileState
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};

    static FileState of(const struct stat &info)
    {
        return FileState{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    }

    bool isSameFile(const struct stat &info) const { return info.st_dev == device && info.st_ino == inode; }

    bool isUnchanged(const struct stat &info) const
    {
        return isSameFile(info) && info.st_size == size && sameTime(info.st_mtim, modified)
               && sameTime(info.st_ctim, changed);
    }

private:
    static bool sameTime(const timespec &a, const timespec &b)
    {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
};
