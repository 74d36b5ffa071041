// A temporary file of ours (TemporaryName.h) left in a folder by a rewrite
// that was interrupted before its rename: the new content, whole or in part,
// beside the file it was to replace. What the next batch that meets one does
// with it depends on what the system lets it prove.
#pragma once

#include <QString>

namespace vaultine {

class Folder;

enum class LeftoverFate {
    Removed,       // redundant, and gone now
    Gone,          // no longer there, or not a file of ours (nor of our name)
    InUse,         // a rewrite still going on (another process): left to it
    MayBeOnlyCopy, // the original may be gone: kept, for the user to look at
    NotRemoved,    // redundant, but could not be removed
};

// Removes `name` from `folder` where it can only be redundant; otherwise
// says why it stays (with the reason, for NotRemoved).
LeftoverFate clearLeftover(const Folder &folder, const QString &name, QString *reason);

} // namespace vaultine
