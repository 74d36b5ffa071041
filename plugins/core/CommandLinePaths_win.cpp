#include "CommandLinePaths.h"

#include <QDir>

namespace commandlinepaths {

QString resolvedPath(const QString &argument)
{
    // Windows itself folds ".." as text (GetFullPathName), links or not.
    return QDir::cleanPath(QDir::current().absoluteFilePath(argument));
}

} // namespace commandlinepaths
