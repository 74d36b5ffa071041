#include "InputFile.h"

#include "Folder.h"
#include "LateClose.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"

#include <fcntl.h>
#include <unistd.h>

namespace vaultine {

using namespace unixcalls;

namespace {

// Below this a read-ahead hint costs more than it saves.
constexpr off_t kSequentialHint = off_t(1) << 20;

} // namespace

void InputFile::closeLater()
{
    vaultine::closeLater(std::move(m_handle));
}

InputFile::Opened InputFile::adopt(FileHandle handle)
{
    // O_NONBLOCK kept open() from waiting on a FIFO; fstat tells what was
    // really opened, so a file swapped for a FIFO after a check cannot block.
    struct stat info;
    if (::fstat(fdOf(handle), &info) != 0 || !S_ISREG(info.st_mode))
        return Opened::NotRegular;
    m_state = stateFrom(info);
    // O_NONBLOCK means nothing to a regular file: it can stay.
    if (info.st_size > kSequentialHint)
        ::posix_fadvise(fdOf(handle), 0, 0, POSIX_FADV_SEQUENTIAL);
    m_handle = std::move(handle);
    return Opened::Ok;
}

bool InputFile::open(const QString &path)
{
    close();
    m_openFailure = Opened::Missing;
    if (path.isEmpty())
        return false;
    FileHandle handle(::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    m_shortage = handle.isValid() ? Shortage::None : shortageOf(errno);
    if (!handle.isValid()) {
        m_openFailure = errno == ENOENT || errno == ENOTDIR ? Opened::Missing : Opened::Unreadable;
        return false;
    }
    m_openFailure = adopt(std::move(handle));
    return m_openFailure == Opened::Ok;
}

InputFile::Opened InputFile::openIn(const Folder &folder, const QString &name)
{
    close();
    FileHandle handle(
        ::openat(fdOf(folder.handle()), encoded(name).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    m_shortage = handle.isValid() ? Shortage::None : shortageOf(errno);
    if (!handle.isValid()) {
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
    return adopt(std::move(handle));
}

qint64 InputFile::readFully(char *buffer, qint64 want)
{
    qint64 total = 0;
    while (total < want) {
        const ssize_t got =
            retryOnInterrupt([&] { return ::read(fdOf(m_handle), buffer + total, size_t(want - total)); });
        if (got < 0) {
            m_error = systemErrorText(errno);
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
    const int fd = fdOf(m_handle);
    const off_t resume = ::lseek(fd, 0, SEEK_CUR);
    const bool ok = resume >= 0 && ::lseek(fd, off_t(offset), SEEK_SET) == off_t(offset) && readFully(byte, 1) == 1;
    return ::lseek(fd, resume, SEEK_SET) == resume && ok;
}

qint64 InputFile::peekStart(char *buffer, qint64 length)
{
    qint64 total = 0;
    while (total < length) {
        const ssize_t got = retryOnInterrupt(
            [&] { return ::pread(fdOf(m_handle), buffer + total, size_t(length - total), off_t(total)); });
        if (got <= 0)
            return got < 0 ? -1 : total;
        total += got;
    }
    return total;
}

} // namespace vaultine
