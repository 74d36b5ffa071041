#include "Folder.h"

#include "FileSystemKind_unix.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vaultine {

using namespace unixcalls;

namespace {

quint64 fileSystemOf(const FileHandle &handle)
{
    struct statfs info;
    return ::fstatfs(fdOf(handle), &info) == 0 ? quint64(info.f_type) : 0;
}

Folder::Opened failureOf(int error)
{
    if (error == ELOOP || error == ENOTDIR)
        return Folder::Opened::Replaced;
    return error == ENOENT ? Folder::Opened::Missing : Folder::Opened::Unreadable;
}

} // namespace

Folder::Opened Folder::adopt(FileHandle handle, const QString &path)
{
    m_shortage = handle.isValid() ? Shortage::None : shortageOf(errno);
    if (!handle.isValid())
        return failureOf(errno);
    m_handle = std::move(handle);
    m_path = path;
    m_fileSystemKind = fileSystemOf(m_handle);
    return Opened::Ok;
}

Folder::Opened Folder::open(const QString &path)
{
    m_handle.reset();
    return adopt(FileHandle(::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), path);
}

Folder::Opened Folder::openChild(const Folder &parent, const QString &name)
{
    m_handle.reset();
    const QString path = parent.m_path + QLatin1Char('/') + name; // before the call: errno tells why
    return adopt(FileHandle(::openat(fdOf(parent.m_handle), encoded(name).constData(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)),
                 path);
}

bool Folder::identify(FileIdentity *identity) const
{
    struct stat info;
    if (::fstat(fdOf(m_handle), &info) != 0)
        return false;
    *identity = stateFrom(info).identity;
    return true;
}

Folder::Entry Folder::lookUp(const QString &name, FileState *state) const
{
    struct stat info;
    if (::fstatat(fdOf(m_handle), encoded(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        *state = stateFrom(info);
        return Entry::Present;
    }
    return errno == ENOENT ? Entry::Absent : Entry::Unknown;
}

bool Folder::allowsWriting(const QString &name) const
{
    const QByteArray local = encoded(name);
    if (::faccessat(fdOf(m_handle), local.constData(), W_OK, AT_EACCESS) != 0)
        return false;
    // A FUSE mount without default_permissions (sshfs) says yes to anything
    // and leaves the refusal to the server, which a rename over the file
    // never meets: there the server is asked by opening the file for
    // writing, without truncating it.
    if (m_fileSystemKind != filesystemkind::kFuse)
        return true;
    const int fd = retryOnInterrupt(
        [&] { return ::openat(fdOf(m_handle), local.constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC); });
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno != EACCES && errno != EPERM && errno != EROFS;
}

bool Folder::flush(QString *error) const
{
    if (::fsync(fdOf(m_handle)) == 0)
        return true;
    *error = systemErrorText(errno);
    return false;
}

bool listNames(const QString &path, std::vector<ListedName> *names)
{
    DIR *dir = ::opendir(encoded(path).constData());
    if (!dir)
        return false;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        const QString name = QFile::decodeName(raw);
        names->push_back(ListedName{name, QFile::encodeName(name) == raw});
    }
    ::closedir(dir);
    return true;
}

} // namespace vaultine
