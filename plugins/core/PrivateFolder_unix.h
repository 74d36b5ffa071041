// A folder only this user may enter, for the channel between the windows of
// one user. Another user must neither reach a socket in it nor plant one.
#pragma once

#include <QString>

namespace privatefolder {

// $XDG_RUNTIME_DIR/keystrel when the session has a runtime folder,
// /tmp/keystrel-<uid> otherwise.
QString channelFolder();

// Creates `path` with mode 0700 when it does not exist yet. True when it is
// a real folder (not a link) owned by this user with no access for group or
// others; otherwise false, with the reason in `whyNot`.
bool makePrivate(const QString &path, QString *whyNot);

// True when `path` is a socket owned by this user (not following a link).
bool isOwnSocket(const QString &path);

} // namespace privatefolder
