// Whether someone other than this user (or the system's administrators) can
// put a library where the core plug-in looks for plug-ins, or change one
// there. Every library in that folder runs as this user: a file that another
// user can change is that user's code running with this one's rights.
#pragma once

#include <QString>

#if !defined(Q_OS_WIN)
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace FileTrust {

#if defined(Q_OS_WIN)
// Why accounts other than this user, Administrators and SYSTEM could change
// the file or folder open as `file` (its owner and access control list), as
// a log text; empty when they cannot.
QString whyUntrusted(Qt::HANDLE file);
#else
// Why users other than `self` and root could change an entry with this
// status, as a log text; empty when they cannot. A group-writable entry
// counts (an access control list that lets others write shows there too:
// the group bits then hold its mask).
QString whyUntrusted(const struct stat &info, uid_t self);
#endif

// The entry at `path` as the loader would reach it. A symbolic link (on
// Windows any reparse point) is followed only into a folder that passes
// whyUntrusted, so that its target cannot be swapped behind it. Returns why
// not, or an empty text with `target` set to the path without links (the
// file itself is not judged).
QString resolve(const QString &path, QString *target);

// A folder whose libraries are to be loaded: the folder, or the one a link
// leads to, must pass whyUntrusted. Empty when it does.
QString whyUntrustedFolder(const QString &folder);

} // namespace FileTrust
