// Whether someone other than this user (or the system's administrators) can
// put a library where the core plug-in looks for plug-ins, or change one
// there. Every library in that folder runs as this user: a file that another
// user can change is that user's code running with this one's rights.
#pragma once

#include <QString>

namespace filetrust {

// The entry at `path` as the loader would reach it. A symbolic link (on
// Windows any reparse point) is followed only into a folder that passes
// whyUntrusted (FileTrust_unix.h, FileTrust_win.h), so that its target cannot be swapped behind it. Returns why
// not, or an empty text with `target` set to the path without links (the
// file itself is not judged).
QString resolve(const QString &path, QString *target);

// A folder whose libraries are to be loaded: the folder, or the one a link
// leads to, must pass whyUntrusted. Empty when it does.
QString whyUntrustedFolder(const QString &folder);

} // namespace filetrust
