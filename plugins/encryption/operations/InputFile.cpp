#include "InputFile.h"

#include "LateClose.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Below this a read-ahead hint costs more than it saves.
constexpr off_t kSequentialHint = off_t(1) << 20;

} // namespace

InputFile::~InputFile()
{
    close();
}

void InputFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void InputFile::closeLater()
{
    ::closeLater(m_fd);
    m_fd = -1;
}

InputFile::Opened InputFile::adopt(int fd)
{
    // O_NONBLOCK kept open() from waiting on a FIFO; fstat tells what was
    // really opened, so a file swapped for a FIFO after a check cannot block.
    if (::fstat(fd, &m_info) != 0 || !S_ISREG(m_info.st_mode)) {
        ::close(fd);
        return Opened::NotRegular;
    }
    // O_NONBLOCK means nothing to a regular file: it can stay.
    if (m_info.st_size > kSequentialHint)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_fd = fd;
    return Opened::Ok;
}

bool InputFile::open(const QString &path)
{
    close();
    if (path.isEmpty())
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 && adopt(fd) == Opened::Ok;
}

InputFile::Opened InputFile::openAt(int folder, const QByteArray &name)
{
    close();
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
            return Opened::Missing;
        case ELOOP:
            return Opened::Link;
        default:
            return Opened::Unreadable;
        }
    }
    return adopt(fd);
}

qint64 InputFile::readFully(char *buffer, qint64 want)
{
    qint64 total = 0;
    while (total < want) {
        const ssize_t got = ::read(m_fd, buffer + total, size_t(want - total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

bool InputFile::byteAt(qint64 offset, char *byte)
{
    const off_t resume = ::lseek(m_fd, 0, SEEK_CUR);
    const bool ok = resume >= 0 && ::lseek(m_fd, off_t(offset), SEEK_SET) == off_t(offset) && readFully(byte, 1) == 1;
    return ::lseek(m_fd, resume, SEEK_SET) == resume && ok;
}

qint64 InputFile::peekStart(char *buffer, qint64 length)
{
    qint64 total = 0;
    while (total < length) {
        const ssize_t got = ::pread(m_fd, buffer + total, size_t(length - total), off_t(total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? -1 : total;
        total += got;
    }
    return total;
}
