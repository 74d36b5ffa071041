#include "CommandLinePaths.h"

#include <QDir>
#include <QFileInfo>

namespace commandlinepaths {

namespace {

// The folder `path` really is, its links followed; empty if it is nothing.
QString realFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() ? info.canonicalFilePath() : QString();
}

} // namespace

QString resolvedPath(const QString &argument)
{
    const QString absolute =
        QDir::isAbsolutePath(argument) ? argument : QDir::currentPath() + QLatin1Char('/') + argument;
    QString resolved;
    // Once a folder on the way is missing or no folder, the kernel stops
    // there: the rest stays as written, so that it names nothing either.
    bool unresolvable = false;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..") && !unresolvable) {
            const QString folder = resolved.isEmpty() ? QStringLiteral("/") : realFolder(resolved);
            if (!folder.isEmpty()) {
                resolved = folder == QLatin1String("/") ? QString() : folder.section(QLatin1Char('/'), 0, -2);
                continue;
            }
            unresolvable = true;
        }
        resolved += QLatin1Char('/') + part;
    }
    return resolved.isEmpty() ? QStringLiteral("/") : resolved;
}

} // namespace commandlinepaths
