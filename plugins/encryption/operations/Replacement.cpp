#include "Replacement.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Large files start going to disk while they are still being written, so
// that the final flush has little left to do and dirty memory stays
// bounded.
constexpr qint64 kWriteBackWindow = qint64(8) << 20;

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

QByteArray temporaryName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name(".keystrel-");
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

Replacement::Replacement(int folder, const QByteArray &name, const struct stat *existing)
    : m_folder(folder)
    , m_name(name)
    , m_replacing(existing != nullptr)
{
    if (existing)
        m_existing = *existing;
}

Replacement::~Replacement()
{
    discard();
}

void Replacement::fail()
{
    m_error = errnoText();
}

// The file's own permission bits from the start (the set-id bits come last,
// as writing clears them): mostly, there is nothing to change afterwards.
mode_t Replacement::initialMode() const
{
    return m_replacing ? (m_existing.st_mode & 0777) : 0600;
}

bool Replacement::createUnnamed()
{
    m_fd = ::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, initialMode());
    return m_fd >= 0;
}

bool Replacement::createNamed()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName();
        m_fd =
            ::openat(m_folder, name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, initialMode());
        if (m_fd >= 0) {
            m_tempName = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

Replacement::Opened Replacement::open()
{
    if (!createUnnamed()) {
        // No unnamed files here (FAT, some network file systems): a hidden
        // name instead.
        if (errno == EACCES || errno == EROFS || errno == ENOSPC || errno == EDQUOT || !createNamed()) {
            fail();
            return Opened::Failed;
        }
    }
    if (::fstat(m_fd, &m_committed) != 0) {
        fail();
        discard();
        return Opened::Failed;
    }
    // The owner first: if it cannot be kept, nothing else is worth doing.
    if (m_replacing && (m_committed.st_uid != m_existing.st_uid || m_committed.st_gid != m_existing.st_gid)
        && ::fchown(m_fd, m_existing.st_uid, m_existing.st_gid) != 0) {
        fail();
        discard();
        return Opened::OwnerNotKept;
    }
    return Opened::Ok;
}

void Replacement::startWriteBack()
{
    if (m_written - m_writeBackFrom < kWriteBackWindow)
        return;
    // Ask for the new window to be written, and wait for the one before it,
    // which has had a whole window's time to get there.
    const qint64 window = m_written - m_writeBackFrom;
    ::sync_file_range(m_fd, m_writeBackFrom, window, SYNC_FILE_RANGE_WRITE);
    if (m_writeBackFrom >= kWriteBackWindow)
        ::sync_file_range(m_fd, m_writeBackFrom - kWriteBackWindow, kWriteBackWindow,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    m_writeBackFrom = m_written;
}

bool Replacement::write(const char *data, qint64 length)
{
    if (m_fd < 0)
        return false;
    while (length > 0) {
        const ssize_t put = ::write(m_fd, data, size_t(length));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            fail();
            return false;
        }
        data += put;
        length -= put;
        m_written += put;
    }
    startWriteBack();
    return true;
}

bool Replacement::copyAttributes()
{
    // By path through the folder, without following a link and without
    // needing to open the file (it may be write-only).
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(m_folder) + '/' + m_name;
    ssize_t size = ::llistxattr(path.constData(), nullptr, 0);
    if (size <= 0)
        return false;
    QByteArray names(int(size), '\0');
    size = ::llistxattr(path.constData(), names.data(), size_t(names.size()));
    if (size < 0)
        return false; // changed meanwhile: the commit will notice
    QByteArray value;
    for (const QByteArray &name : names.left(int(size)).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::lgetxattr(path.constData(), name.constData(), nullptr, 0);
        value.resize(int(qMax<ssize_t>(length, 0)));
        const ssize_t got =
            length > 0 ? ::lgetxattr(path.constData(), name.constData(), value.data(), size_t(value.size())) : 0;
        if (got < 0 || ::fsetxattr(m_fd, name.constData(), value.constData(), size_t(got), 0) != 0)
            m_attributesNotKept << QString::fromLocal8Bit(name);
    }
    return true;
}

bool Replacement::finish(bool flush)
{
    if (m_fd < 0)
        return false;
    if (m_replacing) {
        // Attributes (ACLs among them) before the mode, which also sets the
        // ACL mask; the mode after the last write, which clears set-id bits.
        const bool copied = copyAttributes();
        // The umask, a folder's default ACL, an ACL copied above or set-id
        // bits may leave the mode other than the file's.
        const mode_t wanted = m_existing.st_mode & 07777;
        if ((copied || (m_committed.st_mode & 07777) != wanted) && ::fchmod(m_fd, wanted) != 0) {
            fail();
            return false;
        }
    } else if (::fchmod(m_fd, newFileMode()) != 0) {
        fail();
        return false;
    }
    return !flush || this->flush();
}

bool Replacement::flush()
{
    if (m_fd >= 0 && ::fsync(m_fd) == 0)
        return true;
    fail();
    return false;
}

bool Replacement::giveName()
{
    if (!m_tempName.isEmpty())
        return true;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName();
        if (::linkat(AT_FDCWD, self.constData(), m_folder, name.constData(), AT_SYMLINK_FOLLOW) == 0
            || ::linkat(m_fd, "", m_folder, name.constData(), AT_EMPTY_PATH) == 0) {
            m_tempName = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

Replacement::Committed Replacement::commit()
{
    if (m_fd < 0)
        return Committed::Failed;
    struct stat now;
    const bool present = ::fstatat(m_folder, m_name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (m_replacing ? !present || !FileState::of(m_existing).isUnchanged(now) : present) {
        discard();
        return Committed::Changed;
    }
    if (!giveName()) {
        fail();
        discard();
        return Committed::Failed;
    }
    const int renamed =
        m_replacing ? ::renameat(m_folder, m_tempName.constData(), m_folder, m_name.constData())
                    : ::renameat2(m_folder, m_tempName.constData(), m_folder, m_name.constData(), RENAME_NOREPLACE);
    if (renamed != 0) {
        const bool appeared = errno == EEXIST;
        fail();
        discard();
        return appeared ? Committed::Changed : Committed::Failed;
    }
    m_tempName.clear();
    ::close(m_fd);
    m_fd = -1;
    return Committed::Done;
}

void Replacement::discard()
{
    if (!m_tempName.isEmpty())
        ::unlinkat(m_folder, m_tempName.constData(), 0);
    m_tempName.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
