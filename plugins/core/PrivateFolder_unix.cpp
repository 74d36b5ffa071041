#include "PrivateFolder_unix.h"

#include "SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace privatefolder {

QString channelFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/keystrel");
    return QStringLiteral("/tmp/keystrel-%1").arg(::geteuid());
}

bool makePrivate(const QString &path, QString *whyNot)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        *whyNot = systemErrorText(errno);
        return false;
    }
    // lstat: a link could lead anywhere, also into another user's folder.
    struct stat info;
    if (::lstat(name.constData(), &info) != 0) {
        *whyNot = systemErrorText(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *whyNot = QStringLiteral("不是文件夹");
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        *whyNot = QStringLiteral("属于另一个用户（uid %1）").arg(info.st_uid);
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        *whyNot = QStringLiteral("其他用户可以访问（权限 %1）").arg(info.st_mode & 0777, 3, 8, QLatin1Char('0'));
        return false;
    }
    return true;
}

bool isOwnSocket(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISSOCK(info.st_mode)
           && info.st_uid == ::geteuid();
}

} // namespace privatefolder
