// Preloaded into keystrel-cli alone. KEYSTREL_SHIM holds one or more of
// these words, separated by commas:
//   as-ext4             FUSE file systems say they are ext4, so that the
//                       program takes the road it takes there (one syncfs a
//                       group), and a syncfs of one is passed on to
//                       recording-fs (which FUSE does not do) by a write to
//                       the file KEYSTREL_SYNCFS_CONTROL names
// and, to show that the power-cut check fails on a program that breaks the
// rules it checks:
//   no-flush            fsync, fdatasync and syncfs do nothing
//   flush-after-rename  a file's fsync or fdatasync is held back until the
//                       file has been renamed, a syncfs until the next rename
// A folder's fsync goes through in either case.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace {

bool chosen(const char *word)
{
    const char *words = std::getenv("KEYSTREL_SHIM");
    if (!words)
        return false;
    const std::size_t length = std::strlen(word);
    for (const char *at = std::strstr(words, word); at; at = std::strstr(at + 1, word)) {
        const bool starts = at == words || at[-1] == ',';
        if (starts && (at[length] == '\0' || at[length] == ','))
            return true;
    }
    return false;
}

bool noFlush()
{
    static const bool on = chosen("no-flush");
    return on;
}

bool flushAfterRename()
{
    static const bool on = chosen("flush-after-rename");
    return on;
}

bool asExt4()
{
    static const bool on = chosen("as-ext4");
    return on;
}

constexpr long kFuseMagic = 0x65735546;
constexpr long kExtMagic = 0xEF53;

template <typename Function>
Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using FlushFn = int (*)(int);

struct Held
{
    int fd;           // a duplicate, flushed and closed once renamed
    std::string path; // where the file was when its flush was asked
    bool wholeFileSystem;
};

int syncFileSystem(int fd);

std::mutex heldLock;
std::vector<Held> held;

bool isRegularFile(int fd)
{
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

std::string pathOf(int fd)
{
    char path[PATH_MAX];
    const std::string link = fd == AT_FDCWD ? "/proc/self/cwd" : "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path);
    return length > 0 ? std::string(path, std::size_t(length)) : std::string();
}

// True when the flush is taken care of here (skipped or held back).
bool intercepted(int fd)
{
    if (noFlush())
        return true;
    if (!flushAfterRename() || !isRegularFile(fd))
        return false;
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return false;
    std::lock_guard<std::mutex> guard(heldLock);
    held.push_back(Held{copy, pathOf(fd), false});
    return true;
}

void flushHeld(const std::string &renamed, bool all)
{
    static const FlushFn flush = real<FlushFn>("fsync");
    std::vector<Held> flushing;
    {
        std::lock_guard<std::mutex> guard(heldLock);
        for (auto it = held.begin(); it != held.end();) {
            if (all || it->wholeFileSystem || it->path == renamed) {
                flushing.push_back(*it);
                it = held.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Held &file : flushing) {
        if (file.wholeFileSystem)
            syncFileSystem(file.fd);
        else
            flush(file.fd);
        close(file.fd);
    }
}

std::string fullPath(int folder, const char *name)
{
    if (name[0] == '/')
        return name;
    return pathOf(folder) + '/' + name;
}

int afterRename(int result, const std::string &from)
{
    if (!flushAfterRename())
        return result;
    const int saved = errno;
    flushHeld(from, false);
    errno = saved;
    return result;
}

// syncfs(), or as-ext4's stand-in for it on FUSE.
int syncFileSystem(int fd)
{
    static const FlushFn next = real<FlushFn>("syncfs");
    static const auto realFstatfs = real<int (*)(int, struct statfs *)>("fstatfs");
    struct statfs info;
    const char *control = std::getenv("KEYSTREL_SYNCFS_CONTROL");
    if (asExt4() && control && realFstatfs(fd, &info) == 0 && long(info.f_type) == kFuseMagic) {
        const int told = open(control, O_WRONLY | O_CLOEXEC);
        const bool sent = told >= 0 && write(told, "1", 1) == 1;
        if (told >= 0)
            close(told);
        return sent ? 0 : -1;
    }
    return next(fd);
}

// What was never renamed is flushed when the program ends.
__attribute__((destructor)) void flushTheRest()
{
    flushHeld(std::string(), true);
}

} // namespace

extern "C" {

int fsync(int fd)
{
    static const FlushFn next = real<FlushFn>("fsync");
    return intercepted(fd) ? 0 : next(fd);
}

int fdatasync(int fd)
{
    static const FlushFn next = real<FlushFn>("fdatasync");
    return intercepted(fd) ? 0 : next(fd);
}

int fstatfs(int fd, struct statfs *info)
{
    static const auto next = real<int (*)(int, struct statfs *)>("fstatfs");
    const int result = next(fd, info);
    if (result == 0 && asExt4() && long(info->f_type) == kFuseMagic)
        info->f_type = kExtMagic;
    return result;
}

int fstatfs64(int fd, struct statfs64 *info)
{
    static const auto next = real<int (*)(int, struct statfs64 *)>("fstatfs64");
    const int result = next(fd, info);
    if (result == 0 && asExt4() && long(info->f_type) == kFuseMagic)
        info->f_type = kExtMagic;
    return result;
}

int syncfs(int fd)
{
    if (noFlush())
        return 0;
    if (flushAfterRename()) {
        const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy >= 0) {
            std::lock_guard<std::mutex> guard(heldLock);
            held.push_back(Held{copy, std::string(), true});
            return 0;
        }
    }
    return syncFileSystem(fd);
}

int rename(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("rename");
    const std::string source = fullPath(AT_FDCWD, from);
    return afterRename(next(from, to), source);
}

int renameat(int fromFolder, const char *from, int toFolder, const char *to)
{
    static const auto next = real<int (*)(int, const char *, int, const char *)>("renameat");
    const std::string source = fullPath(fromFolder, from);
    return afterRename(next(fromFolder, from, toFolder, to), source);
}

int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned flags)
{
    static const auto next = real<int (*)(int, const char *, int, const char *, unsigned)>("renameat2");
    const std::string source = fullPath(fromFolder, from);
    return afterRename(next(fromFolder, from, toFolder, to, flags), source);
}
}
