#include "ProgramFiles.h"

#include <QFileInfo>

namespace programfiles {

QString runningExecutable()
{
#if defined(Q_OS_LINUX)
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
#else
    return QString();
#endif
}

} // namespace programfiles
