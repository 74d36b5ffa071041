#include "DurableFlush.h"

#include "Folder.h"
#include "Replacement.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"

#include <map>
#include <unistd.h>

namespace {

// File systems whose syncfs() puts every file's data on the disk before it
// returns. Elsewhere it may not reach the storage at all: a FUSE server
// (ntfs-3g, exfat-fuse, sshfs) never hears of it, NFS and SMB flush only
// what the client caches. There each file is flushed on its own.
bool syncfsIsDurable(const Folder &folder)
{
    switch (static_cast<unsigned long>(folder.fileSystemKind())) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0xF2F52010UL: // f2fs
    case 0x2FC12FC1UL: // zfs
    case 0x794C7630UL: // overlayfs: passed on to the upper one
    case 0x01021994UL: // tmpfs: nothing to reach
    case 0x4d44UL:     // vfat, msdos
    case 0x2011BAB0UL: // exfat (the kernel's)
    case 0x7366746eUL: // ntfs3 (the kernel's)
        return true;
    default:
        return false;
    }
}

void flushEach(const std::vector<Replacement *> &group, quint64 volume,
               const std::function<void(std::size_t index, const QString &reason)> &failed)
{
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (group[i]->newIdentity().volume == volume && !group[i]->flush())
            failed(i, group[i]->errorString());
    }
}

} // namespace

void flushTogether(const std::vector<Replacement *> &group,
                   const std::function<void(std::size_t index, const QString &reason)> &failed)
{
    if (group.size() == 1) {
        if (!group.front()->flush())
            failed(0, group.front()->errorString());
        return;
    }
    // syncfs() flushes everything of the file system, those files among it:
    // one call for all the files on it, where that is known to be enough.
    std::map<quint64, const Folder *> fileSystems;
    for (const Replacement *replacement : group)
        fileSystems.emplace(replacement->newIdentity().volume, &replacement->folder());
    for (const auto &fileSystem : fileSystems) {
        if (!syncfsIsDurable(*fileSystem.second)) {
            flushEach(group, fileSystem.first, failed);
            continue;
        }
        if (::syncfs(unixcalls::fdOf(fileSystem.second->handle())) == 0)
            continue;
        const QString reason = systemErrorText(errno);
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (group[i]->newIdentity().volume == fileSystem.first)
                failed(i, reason);
        }
    }
}
