// A file's extended attributes (ACLs among them) copied onto its
// replacement, and what ntfs-3g keeps of a Windows file beside them. Linux
// only: included by Replacement_unix.cpp alone.
#pragma once

#include <QString>
#include <QStringList>

namespace vaultine {

class Folder;

namespace xattrs {

struct Copied
{
    bool any = false;    // some were copied: an ACL among them may change the mode
    QStringList notKept; // names of those that could not be, or why none could be read
};

// Every extended attribute of `name` in `folder` (not followed if a link)
// given to the open file `to`.
Copied copyAll(const Folder &folder, const QString &name, int to);

// The Windows attributes and creation time of `name`, where the file system
// may keep them (ntfs-3g, ntfs3); the names of those not kept.
QStringList copyNtfsIdentity(const Folder &folder, const QString &name, int to);

} // namespace xattrs

} // namespace vaultine
