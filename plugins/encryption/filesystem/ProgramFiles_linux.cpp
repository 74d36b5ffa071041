#include "ProgramFiles.h"

#include <QDir>
#include <QFileInfo>

namespace vaultine {

namespace programfiles {

QString runningExecutable()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

QStringList installedFolders(const QString &executableFolder)
{
    // keystrel-cli in bin, the program it belongs with in lib/keystrel; the
    // package's place.
    return {QDir(executableFolder).filePath(QStringLiteral("../lib/keystrel")), QStringLiteral("/usr/lib/keystrel")};
}

} // namespace programfiles

} // namespace vaultine
