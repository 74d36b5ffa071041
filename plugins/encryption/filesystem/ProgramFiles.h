// The files the running program is made of, which it must never rewrite:
// an encrypted Qt library or plug-in stops the next start, an encrypted
// uninstaller can no longer remove the program. Known by identity (volume
// and file number), so that a link, a hard link or another spelling of the
// path is recognised too.
#pragma once

#include "filesystem/FileState.h"

#include <QString>
#include <QStringList>

namespace vaultine {

namespace programfiles {

// Takes note of the program whose executable is `executable`: the
// executable itself; beside it the other programs of Keystrel and every
// library (*.dll, *.so, *.so.*); every file in its "Plugin" and "platforms"
// folders; and on Linux every file of an installed Keystrel (/usr/lib/keystrel,
// and lib/keystrel beside the executable's bin folder). Replaces what an
// earlier call noted; an empty path forgets everything.
void protect(const QString &executable);

// The running process's own executable, for a program without an
// application object to ask; empty when the system does not say.
QString runningExecutable();

// True when `identity` is one of the noted files. Safe from any thread.
bool isProgramFile(const FileIdentity &identity);

// How many files are noted.
int count();

// Each system's side: the folders where an installed Keystrel keeps its
// files, seen from the folder of its executable.
QStringList installedFolders(const QString &executableFolder);

} // namespace programfiles

} // namespace vaultine
