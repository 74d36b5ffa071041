#include "ExtendedAttributes_linux.h"

#include "FileSystemKind_unix.h"
#include "Folder.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"

#include <fcntl.h>
#include <sys/xattr.h>

namespace vaultine {

using namespace unixcalls;

namespace xattrs {
namespace {

// What ntfs-3g keeps of a file beside its bytes and does not list among its
// extended attributes: the Windows attributes (hidden, read-only, …) and the
// creation time. Elsewhere they are simply not there.
const char *const kNtfsIdentity[] = {"system.ntfs_attrib_be", "system.ntfs_crtime_be"};

// Where such attributes may be: on FUSE (ntfs-3g), on the kernel's ntfs3,
// and where the kind is not known.
bool mayHaveNtfsIdentity(quint64 fileSystem)
{
    return fileSystem == 0 || fileSystem == filesystemkind::kFuse || fileSystem == filesystemkind::kNtfs3;
}

// The attributes of a name in a folder, never through a link: by its path
// through the folder's handle in /proc, which needs no handle of the file
// (it may be write-only, and opening costs a round trip on a network file
// system); where /proc is not mounted, by a handle of the file.
class Source
{
public:
    Source(const Folder &folder, const QString &name)
        : m_folder(folder)
        , m_name(encoded(name))
        , m_path("/proc/self/fd/" + QByteArray::number(fdOf(folder.handle())) + '/' + m_name)
    {
    }

    ssize_t list(char *names, size_t size)
    {
        const ssize_t got =
            m_file.isValid() ? ::flistxattr(fdOf(m_file), names, size) : ::llistxattr(m_path.constData(), names, size);
        return got < 0 && errno == ENOENT && openFile() ? list(names, size) : got;
    }
    ssize_t get(const char *name, void *value, size_t size)
    {
        const ssize_t got = m_file.isValid() ? ::fgetxattr(fdOf(m_file), name, value, size)
                                             : ::lgetxattr(m_path.constData(), name, value, size);
        return got < 0 && errno == ENOENT && openFile() ? get(name, value, size) : got;
    }

private:
    // Once, when the path is not there: false (errno set) when the file
    // cannot be opened either.
    bool openFile()
    {
        if (m_file.isValid() || m_triedFile)
            return false;
        m_triedFile = true;
        m_file.reset(
            ::openat(fdOf(m_folder.handle()), m_name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        return m_file.isValid();
    }

    const Folder &m_folder;
    const QByteArray m_name;
    const QByteArray m_path;
    FileHandle m_file;
    bool m_triedFile = false;
};

// No attributes to keep: none on this file system or of this name, or the
// file is gone (the commit will notice).
bool nothingToKeep(int error)
{
    return error == ENOTSUP || error == ENODATA || error == ENOENT;
}

} // namespace

Copied copyAll(const Folder &folder, const QString &name, int to)
{
    Copied copied;
    Source source(folder, name);
    ssize_t size = source.list(nullptr, 0);
    if (size < 0 && !nothingToKeep(errno))
        copied.notKept << systemErrorText(errno);
    if (size <= 0)
        return copied;
    QByteArray names(int(size), '\0');
    size = source.list(names.data(), size_t(names.size()));
    if (size < 0)
        return copied; // changed meanwhile: the commit will notice
    copied.any = true;
    QByteArray value;
    for (const QByteArray &attribute : names.left(int(size)).split('\0')) {
        if (attribute.isEmpty())
            continue;
        const ssize_t length = source.get(attribute.constData(), nullptr, 0);
        value.resize(int(qMax<ssize_t>(length, 0)));
        const ssize_t got = length > 0 ? source.get(attribute.constData(), value.data(), size_t(value.size())) : 0;
        if (got < 0 || ::fsetxattr(to, attribute.constData(), value.constData(), size_t(got), 0) != 0)
            copied.notKept << QString::fromLocal8Bit(attribute);
    }
    return copied;
}

QStringList copyNtfsIdentity(const Folder &folder, const QString &name, int to)
{
    QStringList notKept;
    if (!mayHaveNtfsIdentity(folder.fileSystemKind()))
        return notKept;
    Source source(folder, name);
    for (const char *attribute : kNtfsIdentity) {
        char value[16];
        const ssize_t length = source.get(attribute, value, sizeof value);
        if (length < 0 && !nothingToKeep(errno))
            notKept << QString::fromLatin1(attribute);
        if (length <= 0)
            continue; // not NTFS, or nothing of the kind
        if (::fsetxattr(to, attribute, value, size_t(length), 0) != 0 && errno != ENOTSUP)
            notKept << QString::fromLatin1(attribute);
    }
    return notKept;
}

} // namespace xattrs

} // namespace vaultine
