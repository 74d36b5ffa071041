#include "Leftovers.h"

#include "filesystem/Leftover.h"
#include "format/ActionLogLines.h"
#include "format/LogLines.h"

using namespace actionlines;

QStringList clearLeftovers(const FolderListing &listing, FolderHandles &folders, const LogFn &log)
{
    QStringList kept;
    const auto say = [&log](const QString &line) {
        if (log)
            log(line);
    };
    for (const WalkedLeftover &leftover : listing.leftovers) {
        FolderHandles::Status status = FolderHandles::Status::Unreadable;
        const Folder *folder = leftover.folderIndex >= 0 ? folders.openPinned(leftover.folderIndex, &status) : nullptr;
        QString reason;
        const LeftoverFate fate = folder ? clearLeftover(*folder, leftover.name, &reason) : LeftoverFate::NotRemoved;
        if (folder)
            folders.unpin(leftover.folderIndex);
        switch (fate) {
        case LeftoverFate::Removed:
            say(kLeftoverRemoved + leftover.path);
            break;
        case LeftoverFate::Gone:
            break;
        case LeftoverFate::InUse:
            say(kLeftoverInUse + leftover.path);
            break;
        case LeftoverFate::MayBeOnlyCopy:
            say(kLeftoverMayBeOnlyCopy + leftover.path);
            kept << leftover.path;
            break;
        case LeftoverFate::NotRemoved:
            say(reason.isEmpty() ? kLeftoverNotRemoved + leftover.path
                                 : loglines::withReason(kLeftoverNotRemoved, leftover.path, reason));
            kept << leftover.path;
            break;
        }
    }
    return kept;
}
