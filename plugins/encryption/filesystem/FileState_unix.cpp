#include "FileState.h"

#include "SystemCalls_unix.h"

namespace vaultine {

namespace unixcalls {

namespace {

FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISLNK(mode))
        return FileKind::Link;
    return FileKind::Other;
}

FileTime timeOf(const timespec &time)
{
    return FileTime{qint64(time.tv_sec), qint64(time.tv_nsec)};
}

} // namespace

FileState stateFrom(const struct stat &info)
{
    FileState state;
    state.identity = FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
    state.kind = kindOf(info.st_mode);
    state.size = qint64(info.st_size);
    state.modified = timeOf(info.st_mtim);
    state.changed = timeOf(info.st_ctim);
    state.linkCount = quint64(info.st_nlink);
    state.mode = quint32(info.st_mode & 07777);
    state.owner = quint32(info.st_uid);
    state.group = quint32(info.st_gid);
    return state;
}

} // namespace unixcalls

bool stateAtPath(const QString &path, FollowLinks follow, FileState *state)
{
    struct stat info;
    const QByteArray name = unixcalls::encoded(path);
    const int looked = follow == FollowLinks::Yes ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info);
    if (looked != 0)
        return false;
    *state = unixcalls::stateFrom(info);
    return true;
}

} // namespace vaultine
