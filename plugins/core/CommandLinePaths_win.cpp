#include "CommandLinePaths.h"

#include <QDir>

namespace CommandLinePaths {

QString resolvedPath(const QString &argument)
{
    // Windows itself folds ".." as text (GetFullPathName), links or not.
    return QDir::cleanPath(QDir::current().absoluteFilePath(argument));
}

} // namespace CommandLinePaths
