#include "CoreLocation.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace CoreLocation {

QString libraryPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&libraryPath), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
}

QString pluginFolder()
{
    const QString path = libraryPath();
    if (path.isEmpty()) // the launcher looks there for us too
        return QCoreApplication::applicationDirPath() + QStringLiteral("/Plugin");
    return QFileInfo(path).absolutePath();
}

} // namespace CoreLocation
