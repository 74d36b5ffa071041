#include "Folder.h"

#include "SystemCalls_unix.h"
#include "SystemError.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

using namespace unixcalls;

namespace {

Folder::Opened failureOf(int error)
{
    if (error == ELOOP || error == ENOTDIR)
        return Folder::Opened::Replaced;
    return error == ENOENT ? Folder::Opened::Missing : Folder::Opened::Unreadable;
}

} // namespace

Folder::Opened Folder::open(const QString &path)
{
    m_handle.reset(::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_handle.isValid())
        return failureOf(errno);
    m_path = path;
    return Opened::Ok;
}

Folder::Opened Folder::openChild(const Folder &parent, const QString &name)
{
    m_handle.reset(
        ::openat(fdOf(parent.m_handle), encoded(name).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!m_handle.isValid())
        return failureOf(errno);
    m_path = parent.m_path + QLatin1Char('/') + name;
    return Opened::Ok;
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
    return ::faccessat(fdOf(m_handle), encoded(name).constData(), W_OK, AT_EACCESS) == 0;
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
