#include "Leftovers.h"

#include "transform/LeftoverSweep.h"

namespace vaultine {

QStringList clearLeftovers(const FolderListing &listing, FolderHandles &folders, const LogFn &log)
{
    QStringList kept;
    for (const WalkedLeftover &leftover : listing.leftovers) {
        FolderHandles::Status status = FolderHandles::Status::Unreadable;
        const Folder *folder = leftover.folderIndex >= 0 ? folders.openPinned(leftover.folderIndex, &status) : nullptr;
        QString reason;
        const LeftoverFate fate = folder ? clearLeftover(*folder, leftover.name, &reason) : LeftoverFate::NotRemoved;
        if (folder)
            folders.unpin(leftover.folderIndex);
        const QString line = filecrypt::leftoverLine(fate, leftover.path, reason);
        if (log && !line.isEmpty())
            log(line);
        if (filecrypt::staysBehind(fate))
            kept << leftover.path;
    }
    return kept;
}

} // namespace vaultine
