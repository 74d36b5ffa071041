#include "CoreLocation.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace corelocation {

QString pluginFolder()
{
    const QString path = libraryPath();
    if (path.isEmpty()) // the launcher looks there for us too
        return QCoreApplication::applicationDirPath() + QStringLiteral("/Plugin");
    return QFileInfo(path).absolutePath();
}

} // namespace corelocation
