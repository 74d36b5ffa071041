#include "CoreLocation.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace corelocation {

QString libraryPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&libraryPath), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
}

} // namespace corelocation
