#include "LibraryFileCheck_unix.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(Q_OS_LINUX)
#include <elf.h>
#include <link.h>
#endif

namespace libraryfilecheck {
namespace {

#if defined(Q_OS_LINUX)
#if defined(__x86_64__)
constexpr int kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int kMachine = EM_386;
#else
constexpr int kMachine = -1; // not checked
#endif

bool readAt(int fd, void *buffer, size_t length, off_t offset)
{
    return ::pread(fd, buffer, length, offset) == ssize_t(length);
}

bool elfFits(int fd, off_t fileSize)
{
    ElfW(Ehdr) header;
    if (!readAt(fd, &header, sizeof header, 0))
        return false;
    const bool identity = header.e_ident[EI_MAG0] == ELFMAG0 && header.e_ident[EI_MAG1] == ELFMAG1
                          && header.e_ident[EI_MAG2] == ELFMAG2 && header.e_ident[EI_MAG3] == ELFMAG3
                          && header.e_ident[EI_CLASS] == (sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32)
                          && header.e_type == ET_DYN && (kMachine < 0 || header.e_machine == kMachine)
                          && header.e_phentsize == sizeof(ElfW(Phdr)) && header.e_phnum > 0;
    if (!identity)
        return false;
    const quint64 size = quint64(fileSize);
    if (header.e_phoff > size || quint64(header.e_phnum) * sizeof(ElfW(Phdr)) > size - header.e_phoff)
        return false;
    for (int i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment;
        if (!readAt(fd, &segment, sizeof segment, off_t(header.e_phoff + i * sizeof segment)))
            return false;
        if ((segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC)
            && (segment.p_offset > size || segment.p_filesz > size - segment.p_offset))
            return false;
    }
    return true;
}
#endif

} // namespace

bool looksLoadable(int fd)
{
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
#if defined(Q_OS_LINUX)
    ok = ok && elfFits(fd, info.st_size);
#endif
    return ok;
}

bool looksLoadable(const QString &path)
{
    // O_NONBLOCK: opening a pipe must not wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = looksLoadable(fd);
    ::close(fd);
    return ok;
}

bool alternativesLookLoadable(const QString &path)
{
    const QFileInfo file(path);
    const QString haswell = file.absolutePath() + QStringLiteral("/haswell/") + file.fileName();
    struct stat info;
    if (::lstat(QFile::encodeName(haswell).constData(), &info) != 0)
        return true; // nothing there: nothing to trip over
    return looksLoadable(haswell);
}

} // namespace libraryfilecheck
