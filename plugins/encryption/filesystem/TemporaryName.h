// The hidden name a new file has beside the one it replaces, for the instant
// between naming it and renaming it over the file (or the whole time, where
// the file system has no unnamed files): ".keystrel-" and six letters or
// digits. Folder walks recognise it by the same rule and record it, for the
// batch to clear (Leftover.h).
#pragma once

#include <QString>

namespace vaultine {

namespace temporaryname {

inline const QString kPrefix = QStringLiteral(".keystrel-");
constexpr int kRandomLength = 6;

// A fresh name of that form.
QString fresh();
// True for a name of that form, and only for one.
bool isTemporary(const QString &name);

} // namespace temporaryname

} // namespace vaultine
