// Preloaded into keystrel-cli alone, to show that the power-cut check fails
// on a program that breaks the rules it checks:
//   KEYSTREL_SHIM=no-flush            fsync, fdatasync and syncfs do nothing
//   KEYSTREL_SHIM=flush-after-rename  a file's fsync or fdatasync is held back
//                                     until the file has been renamed
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
#include <unistd.h>
#include <vector>

namespace {

enum class Shim { None, NoFlush, FlushAfterRename };

Shim shim()
{
    static const Shim chosen = [] {
        const char *mode = std::getenv("KEYSTREL_SHIM");
        if (mode && std::strcmp(mode, "no-flush") == 0)
            return Shim::NoFlush;
        if (mode && std::strcmp(mode, "flush-after-rename") == 0)
            return Shim::FlushAfterRename;
        return Shim::None;
    }();
    return chosen;
}

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
};

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
    if (shim() == Shim::NoFlush)
        return true;
    if (shim() != Shim::FlushAfterRename || !isRegularFile(fd))
        return false;
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return false;
    std::lock_guard<std::mutex> guard(heldLock);
    held.push_back(Held{copy, pathOf(fd)});
    return true;
}

void flushHeld(const std::string &renamed, bool all)
{
    static const FlushFn flush = real<FlushFn>("fsync");
    std::vector<Held> flushing;
    {
        std::lock_guard<std::mutex> guard(heldLock);
        for (auto it = held.begin(); it != held.end();) {
            if (all || it->path == renamed) {
                flushing.push_back(*it);
                it = held.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Held &file : flushing) {
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
    if (shim() != Shim::FlushAfterRename)
        return result;
    const int saved = errno;
    flushHeld(from, false);
    errno = saved;
    return result;
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

int syncfs(int fd)
{
    static const FlushFn next = real<FlushFn>("syncfs");
    return shim() == Shim::NoFlush ? 0 : next(fd);
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
