#include "FileTrust_unix.h"

#include "SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace filetrust {
namespace {

QString modeText(mode_t mode)
{
    return QString::asprintf("%04o", unsigned(mode & 07777));
}

bool lstatOf(const QString &path, struct stat *info)
{
    return ::lstat(QFile::encodeName(path).constData(), info) == 0;
}

QString canonical(const QString &path, QString *why)
{
    char resolved[PATH_MAX];
    if (!::realpath(QFile::encodeName(path).constData(), resolved)) {
        *why = QStringLiteral("链接无法解析：") + systemErrorText(errno);
        return QString();
    }
    return QFile::decodeName(resolved);
}

} // namespace

QString whyUntrusted(const struct stat &info, uid_t self)
{
    if (info.st_uid != self && info.st_uid != 0)
        return QStringLiteral("属于其他用户，uid %1").arg(info.st_uid);
    if (info.st_mode & S_IWOTH)
        return QStringLiteral("所有用户都可写入，权限 ") + modeText(info.st_mode);
    if (info.st_mode & S_IWGRP)
        return QStringLiteral("同组用户可写入，权限 ") + modeText(info.st_mode);
    return QString();
}

QString resolve(const QString &path, QString *target)
{
    struct stat info;
    if (!lstatOf(path, &info))
        return QStringLiteral("无法读取：") + systemErrorText(errno);
    if (!S_ISLNK(info.st_mode)) {
        *target = path;
        return QString();
    }
    QString why;
    const QString resolved = canonical(path, &why);
    if (resolved.isEmpty())
        return why;
    const QString folder = QFileInfo(resolved).path();
    struct stat folderInfo;
    if (!lstatOf(folder, &folderInfo))
        return QStringLiteral("无法读取链接目标所在目录 ") + folder + QStringLiteral("：") + systemErrorText(errno);
    why = whyUntrusted(folderInfo, ::geteuid());
    if (!why.isEmpty())
        return QStringLiteral("链接目标所在目录 ") + folder + QStringLiteral("：") + why;
    *target = resolved;
    return QString();
}

QString whyUntrustedFolder(const QString &folder)
{
    QString target;
    QString why = resolve(folder, &target);
    if (!why.isEmpty())
        return why;
    struct stat info;
    if (!lstatOf(target, &info))
        return QStringLiteral("无法读取：") + systemErrorText(errno);
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("不是目录");
    return whyUntrusted(info, ::geteuid());
}

} // namespace filetrust
