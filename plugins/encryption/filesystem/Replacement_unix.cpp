#include "Replacement.h"

#include "ExtendedAttributes_linux.h"
#include "FileSystemKind_unix.h"
#include "Folder.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"
#include "TemporaryName.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vaultine {

using namespace unixcalls;

namespace {

// Large files start going to disk while they are still being written, so
// that the final flush has little left to do and dirty memory stays
// bounded.
constexpr qint64 kWriteBackWindow = qint64(8) << 20;
constexpr qint64 kWriteBackLag = qint64(64) << 20;
constexpr int kNameAttempts = 100;

// Mode of a new file: what the umask allows of rw-rw-rw-. The umask is read,
// not set, as threads may be creating files meanwhile.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return mode_t(0666) & ~mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 0644;
}

QByteArray procPath(const FileHandle &handle)
{
    return "/proc/self/fd/" + QByteArray::number(fdOf(handle));
}

// FAT and exFAT keep no mode of a file's own: every file has the one the
// mount options (and, with showexec, its name) give it, whatever it is
// asked for, and a chmod by anyone but the mount's owner is refused. A plain
// save would leave such a file as it is: neither may the refusal fail it.
bool modeIsTheMounts(int fd)
{
    struct statfs info;
    if (::fstatfs(fd, &info) != 0)
        return false;
    const auto type = quint64(info.f_type);
    return type == filesystemkind::kFat || type == filesystemkind::kExfat;
}

bool setMode(int fd, mode_t mode)
{
    return ::fchmod(fd, mode) == 0 || (errno == EPERM && modeIsTheMounts(fd));
}

// The file's own permission bits from the start (the set-id bits come last,
// as writing clears them): mostly, there is nothing to change afterwards.
mode_t initialMode(const FileState *existing)
{
    return existing ? mode_t(existing->mode & 0777) : mode_t(0600);
}

// A new file without a name in `folder`, where the file system has them.
FileHandle createUnnamed(const Folder &folder, mode_t mode)
{
    return FileHandle(::openat(fdOf(folder.handle()), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
}

// Large files start going to disk while they are still being written, so
// that the final flush has little left to do and dirty memory stays
// bounded: as the file grows past the end of a window, that window is asked
// to be written, and the one kWriteBackLag before it is waited for. The disk
// is kept busy, the writes never wait on it while it keeps pace, and what is
// dirty of the file stays within kWriteBackLag. A write-back error reported
// here is the file's: the waiting call marks it seen, and a later fsync
// would say nothing of it.
bool startWriteBack(int fd, qint64 before, qint64 after)
{
    for (qint64 end = (before / kWriteBackWindow + 1) * kWriteBackWindow; end <= after; end += kWriteBackWindow) {
        const qint64 start = end - kWriteBackWindow;
        if (::sync_file_range(fd, start, kWriteBackWindow, SYNC_FILE_RANGE_WRITE) != 0)
            return false;
        if (start >= kWriteBackLag
            && ::sync_file_range(fd, start - kWriteBackLag, kWriteBackWindow,
                                 SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER)
                   != 0)
            return false;
    }
    return true;
}

// A name in `folder` for the unnamed `file`, by the handle itself where the
// system lets its opener do that (recent kernels, or the privilege), else
// through /proc: the same file either way, the first without a walk through
// /proc.
bool nameUnnamed(const FileHandle &file, const Folder &folder, QString *named)
{
    const int dir = fdOf(folder.handle());
    const QByteArray self = procPath(file);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name = temporaryname::fresh();
        const QByteArray local = encoded(name);
        if (::linkat(fdOf(file), "", dir, local.constData(), AT_EMPTY_PATH) == 0
            || ::linkat(AT_FDCWD, self.constData(), dir, local.constData(), AT_SYMLINK_FOLLOW) == 0) {
            *named = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

} // namespace

void Replacement::fail()
{
    m_shortage = shortageOf(errno);
    m_error = systemErrorText(errno);
}

bool Replacement::createNamed()
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name = temporaryname::fresh();
        m_file.reset(::openat(fdOf(m_folder.handle()), encoded(name).constData(),
                              O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW,
                              initialMode(m_replacing ? &m_existing : nullptr)));
        if (m_file.isValid()) {
            m_temporaryName = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

Replacement::Opened Replacement::open()
{
    m_file = createUnnamed(m_folder, initialMode(m_replacing ? &m_existing : nullptr));
    if (!m_file.isValid()) {
        // No unnamed files here (FAT, some network file systems): a hidden
        // name instead.
        if (errno == EACCES || errno == EROFS || errno == ENOSPC || errno == EDQUOT || !createNamed()) {
            fail();
            return Opened::Failed;
        }
    }
    struct stat created;
    if (::fstat(fdOf(m_file), &created) != 0) {
        fail();
        discard();
        return Opened::Failed;
    }
    m_created = stateFrom(created);
    // Held while it is written, so that a batch of another process never
    // takes it for the leftover of an interrupted rewrite (Leftover.h).
    ::flock(fdOf(m_file), LOCK_EX | LOCK_NB);
    // The owner first: if it cannot be kept, nothing else is worth doing.
    if (m_replacing && (m_created.owner != m_existing.owner || m_created.group != m_existing.group)
        && ::fchown(fdOf(m_file), uid_t(m_existing.owner), gid_t(m_existing.group)) != 0) {
        fail();
        discard();
        return Opened::OwnerNotKept;
    }
    return Opened::Ok;
}

bool Replacement::write(const char *data, qint64 length)
{
    if (!m_file.isValid())
        return false;
    const qint64 before = m_written;
    while (length > 0) {
        const ssize_t put = retryOnInterrupt([&] { return ::write(fdOf(m_file), data, size_t(length)); });
        if (put < 0) {
            fail();
            return false;
        }
        data += put;
        length -= put;
        m_written += put;
    }
    if (startWriteBack(fdOf(m_file), before, m_written))
        return true;
    fail();
    return false;
}

bool Replacement::finish(Flush flush)
{
    if (!m_file.isValid())
        return false;
    if (m_replacing) {
        // Attributes (ACLs among them) before the mode, which also sets the
        // ACL mask; the mode after the last write, which clears set-id bits.
        const xattrs::Copied copied = xattrs::copyAll(m_folder, m_name, fdOf(m_file));
        m_attributesNotKept << copied.notKept;
        // The umask, a folder's default ACL, an ACL copied above or set-id
        // bits may leave the mode other than the file's.
        const quint32 wanted = m_existing.mode;
        if ((copied.any || m_created.mode != wanted) && !setMode(fdOf(m_file), mode_t(wanted))) {
            fail();
            return false;
        }
        // Last, as nothing after it may change them; the read-only attribute
        // among them does not keep the new file from being renamed.
        m_attributesNotKept << xattrs::copyNtfsIdentity(m_folder, m_name, fdOf(m_file));
    } else if (!setMode(fdOf(m_file), newFileMode())) {
        fail();
        return false;
    }
    return flush == Flush::WithOthers || this->flush();
}

bool Replacement::flush()
{
    if (m_file.isValid() && ::fsync(fdOf(m_file)) == 0)
        return true;
    fail();
    return false;
}

bool Replacement::confirmWrittenBack()
{
    // The data is on disk already: this only waits for what is still in
    // flight, and reports any write-back error of the file since it was
    // opened that nothing of this handle has seen yet.
    if (m_file.isValid()
        && ::sync_file_range(fdOf(m_file), 0, 0,
                             SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER)
               == 0)
        return true;
    fail();
    return false;
}

Replacement::Committed Replacement::commit()
{
    if (!m_file.isValid())
        return Committed::Failed;
    if (!targetStillAsRead()) {
        discard();
        return Committed::Changed;
    }
    if (m_temporaryName.isEmpty() && !nameUnnamed(m_file, m_folder, &m_temporaryName)) {
        fail();
        discard();
        return Committed::Failed;
    }
    const int folder = fdOf(m_folder.handle());
    const QByteArray from = encoded(m_temporaryName);
    const QByteArray to = encoded(m_name);
    const int renamed = m_replacing ? ::renameat(folder, from.constData(), folder, to.constData())
                                    : ::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE);
    if (renamed != 0) {
        const bool appeared = errno == EEXIST;
        fail();
        discard();
        return appeared ? Committed::Changed : Committed::Failed;
    }
    m_temporaryName.clear();
    m_file.reset();
    return Committed::Done;
}

void Replacement::discard()
{
    if (!m_temporaryName.isEmpty())
        ::unlinkat(fdOf(m_folder.handle()), encoded(m_temporaryName).constData(), 0);
    m_temporaryName.clear();
    m_file.reset();
}

} // namespace vaultine
