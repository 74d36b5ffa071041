// No channel folder on Windows: the one-window channel is not there yet
// (InstanceChannel_win.cpp).
#include "PrivateFolder.h"

namespace PrivateFolder {

QString channelFolder()
{
    return QString();
}

bool makePrivate(const QString &, QString *whyNot)
{
    *whyNot = QStringLiteral("Windows 上尚未提供");
    return false;
}

bool isOwnSocket(const QString &)
{
    return false;
}

} // namespace PrivateFolder
