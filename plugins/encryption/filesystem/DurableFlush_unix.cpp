#include "DurableFlush.h"

#include "FileSystemKind_unix.h"
#include "Folder.h"
#include "Replacement.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"

#include <map>
#include <unistd.h>

namespace vaultine {

namespace {

// File systems whose syncfs() puts every file's data on the disk before it
// returns. Elsewhere it may not reach the storage at all: a FUSE server
// (ntfs-3g, exfat-fuse, sshfs) never hears of it, NFS and SMB flush only
// what the client caches. There each file is flushed on its own.
bool syncfsIsDurable(const Folder &folder)
{
    using namespace filesystemkind;
    switch (folder.fileSystemKind()) {
    case kExt:
    case kXfs:
    case kBtrfs:
    case kF2fs:
    case kZfs:
    case kOverlay: // passed on to the upper one
    case kTmpfs:   // nothing to reach
    case kFat:
    case kExfat:
    case kNtfs3:
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
        if (::syncfs(unixcalls::fdOf(fileSystem.second->handle())) == 0) {
            // A write-back error is reported to one syncfs() of its file
            // system, which may be another batch's or a flush that ran
            // while this group was written: each file is asked for its own.
            for (std::size_t i = 0; i < group.size(); ++i) {
                if (group[i]->newIdentity().volume == fileSystem.first && !group[i]->confirmWrittenBack())
                    failed(i, group[i]->errorString());
            }
            continue;
        }
        const QString reason = systemErrorText(errno);
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (group[i]->newIdentity().volume == fileSystem.first)
                failed(i, reason);
        }
    }
}

} // namespace vaultine
