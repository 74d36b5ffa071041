#include "FsHooks.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Event { None, Read, Write, Sync, Link, Rename, Renamed, Syncfs, AnyRename, AnyRenamed, Count };
enum class Action { Kill, Append, Truncate, Replace, Unlink, Interrupt };

struct HookState
{
    Event event = Event::None;
    long wanted = 0;
    Action action = Action::Kill;
    bool noTmpfile = false;
    bool trace = false;
    bool armed = false;
    bool busy = false;
    bool fired = false;
    std::string path;
    std::string realPath; // the path with its folder resolved, as renames name it
    dev_t device = 0;
    ino_t inode = 0;
    long seen[int(Event::Count)] = {};
};

HookState &state()
{
    static HookState s;
    return s;
}

template <typename F>
F realFunction(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

Event parseEvent(const std::string &name)
{
    if (name == "read")
        return Event::Read;
    if (name == "write")
        return Event::Write;
    if (name == "sync")
        return Event::Sync;
    if (name == "link")
        return Event::Link;
    if (name == "rename")
        return Event::Rename;
    if (name == "renamed")
        return Event::Renamed;
    if (name == "syncfs")
        return Event::Syncfs;
    if (name == "anyrename")
        return Event::AnyRename;
    if (name == "anyrenamed")
        return Event::AnyRenamed;
    return Event::None;
}

bool parseAction(const std::string &name, Action *action)
{
    static const struct
    {
        const char *name;
        Action action;
    } actions[] = {{"kill", Action::Kill},       {"append", Action::Append}, {"truncate", Action::Truncate},
                   {"replace", Action::Replace}, {"unlink", Action::Unlink}, {"interrupt", Action::Interrupt}};
    for (const auto &a : actions) {
        if (name == a.name) {
            *action = a.action;
            return true;
        }
    }
    return false;
}

void writeText(const std::string &path, int flags, const char *text)
{
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
        return;
    const ssize_t ignored = ::write(fd, text, std::strlen(text));
    (void)ignored;
    ::close(fd);
}

// Another program's doing, or the end of this one.
void act()
{
    HookState &s = state();
    s.fired = true;
    std::printf("hook fired\n");
    std::fflush(stdout);
    switch (s.action) {
    case Action::Kill:
        ::kill(::getpid(), SIGKILL);
        break;
    case Action::Append:
        writeText(s.path, O_WRONLY | O_APPEND, "appended by another program\n");
        break;
    case Action::Truncate:
        if (::truncate(s.path.c_str(), 1000) != 0)
            std::perror("truncate");
        break;
    case Action::Replace: {
        const std::string other = s.path + ".saved-by-other";
        writeText(other, O_WRONLY | O_CREAT | O_TRUNC, "a newer version saved by another program\n");
        if (::rename(other.c_str(), s.path.c_str()) != 0)
            std::perror("rename");
        break;
    }
    case Action::Unlink:
        ::unlink(s.path.c_str());
        break;
    case Action::Interrupt:
        // As a Ctrl-C on the terminal: the handler runs before this returns.
        ::raise(SIGINT);
        break;
    }
}

// Counts one occurrence of `event` and acts on the chosen one.
void count(Event event)
{
    HookState &s = state();
    if (!s.armed || s.busy || s.fired)
        return;
    ++s.seen[int(event)];
    if (event == s.event && s.seen[int(event)] == s.wanted) {
        s.busy = true;
        act();
        s.busy = false;
    }
}

bool isWatchedFile(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 && info.st_dev == state().device && info.st_ino == state().inode;
}

// A regular file other than the one being processed: the replacement.
bool isReplacement(int fd)
{
    struct stat info;
    return fd > 2 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
           && !(info.st_dev == state().device && info.st_ino == state().inode);
}

void trace(const char *what, const std::string &path)
{
    if (!state().armed || !state().trace)
        return;
    std::printf("%s: %s\n", what, path.c_str());
    std::fflush(stdout);
}

bool isFolder(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

bool active()
{
    return state().armed && !state().busy && !state().fired;
}

bool refusesTmpfile(int flags)
{
    if (state().noTmpfile && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return true;
    }
    return false;
}

mode_t modeArgument(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

} // namespace

namespace fshooks {

void arm(const QString &path)
{
    armEncoded(QFile::encodeName(path).constData());
}

void armEncoded(const char *path)
{
    HookState &s = state();
    s.path = path;
    const size_t slash = s.path.rfind('/');
    if (slash != std::string::npos) {
        char *folder = ::realpath(slash == 0 ? "/" : s.path.substr(0, slash).c_str(), nullptr);
        if (folder) {
            s.realPath = std::string(folder) + s.path.substr(slash);
            std::free(folder);
        }
    }
    struct stat info;
    if (::stat(s.path.c_str(), &info) == 0) {
        s.device = info.st_dev;
        s.inode = info.st_ino;
    }
    const char *noTmpfile = std::getenv("KEYSTREL_TOOL_NO_TMPFILE");
    s.noTmpfile = noTmpfile && std::string(noTmpfile) == "1";
    const char *hook = std::getenv("KEYSTREL_TOOL_HOOK");
    const std::string hookText = hook ? hook : "";
    const char *trace = std::getenv("KEYSTREL_TOOL_TRACE");
    s.trace = trace && std::string(trace) == "1";
    const size_t first = hookText.find(':');
    const size_t second = hookText.find(':', first == std::string::npos ? first : first + 1);
    if (first != std::string::npos && second != std::string::npos) {
        s.event = parseEvent(hookText.substr(0, first));
        s.wanted = std::atol(hookText.substr(first + 1, second - first - 1).c_str());
        if (!parseAction(hookText.substr(second + 1), &s.action))
            s.event = Event::None;
    }
    s.armed = true;
}

bool fired()
{
    return state().fired;
}

} // namespace fshooks

// The interposed calls. The executable's definitions come before the C
// library's for Qt's calls too; each passes on to the next definition.

extern "C" ssize_t read(int fd, void *buffer, size_t length)
{
    static const auto next = realFunction<ssize_t (*)(int, void *, size_t)>("read");
    const ssize_t got = next(fd, buffer, length);
    if (got > 0 && active() && isWatchedFile(fd))
        count(Event::Read);
    return got;
}

extern "C" ssize_t write(int fd, const void *buffer, size_t length)
{
    static const auto next = realFunction<ssize_t (*)(int, const void *, size_t)>("write");
    const ssize_t put = next(fd, buffer, length);
    if (put > 0 && active() && isReplacement(fd))
        count(Event::Write);
    return put;
}

extern "C" int fdatasync(int fd)
{
    static const auto next = realFunction<int (*)(int)>("fdatasync");
    if (active() && isReplacement(fd))
        count(Event::Sync);
    return next(fd);
}

extern "C" int fsync(int fd)
{
    static const auto next = realFunction<int (*)(int)>("fsync");
    if (active() && isReplacement(fd))
        count(Event::Sync);
    const int result = next(fd);
    if (result == 0 && state().trace && isFolder(fd)) {
        char folder[4096];
        const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), folder, sizeof folder - 1);
        trace("folder synced", length > 0 ? std::string(folder, size_t(length)) : std::string("?"));
    }
    return result;
}

extern "C" int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    static const auto next = realFunction<int (*)(int, const char *, int, const char *, int)>("linkat");
    const int result = next(fromDir, from, toDir, to, flags);
    if (result == 0 && active())
        count(Event::Link);
    return result;
}

// The path a rename names, its folder resolved through /proc.
static std::string pathAt(int dir, const char *name)
{
    if (name[0] == '/' || dir == AT_FDCWD) {
        char *real = nullptr;
        std::string text(name);
        const size_t slash = text.rfind('/');
        if (slash != std::string::npos
            && (real = ::realpath(slash == 0 ? "/" : text.substr(0, slash).c_str(), nullptr))) {
            text = std::string(real) + text.substr(slash);
            std::free(real);
        }
        return text;
    }
    char folder[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(dir);
    const ssize_t length = ::readlink(link.c_str(), folder, sizeof folder - 1);
    if (length <= 0)
        return name;
    return std::string(folder, size_t(length)) + "/" + name;
}

// A rename of any kind onto `to`: the hooks before and after it.
template <typename Rename>
static int hookedRename(int toDir, const char *to, Rename rename)
{
    const bool any = active();
    const bool onPath = any && !state().realPath.empty() && pathAt(toDir, to) == state().realPath;
    if (any)
        count(Event::AnyRename);
    if (onPath && active())
        count(Event::Rename);
    const int result = rename();
    if (result == 0)
        trace("renamed", pathAt(toDir, to));
    if (result == 0 && any && active())
        count(Event::AnyRenamed);
    if (result == 0 && onPath && active())
        count(Event::Renamed);
    return result;
}

extern "C" int rename(const char *from, const char *to)
{
    static const auto next = realFunction<int (*)(const char *, const char *)>("rename");
    return hookedRename(AT_FDCWD, to, [&] { return next(from, to); });
}

extern "C" int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    static const auto next = realFunction<int (*)(int, const char *, int, const char *)>("renameat");
    return hookedRename(toDir, to, [&] { return next(fromDir, from, toDir, to); });
}

extern "C" int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags)
{
    static const auto next = realFunction<int (*)(int, const char *, int, const char *, unsigned int)>("renameat2");
    return hookedRename(toDir, to, [&] { return next(fromDir, from, toDir, to, flags); });
}

extern "C" int syncfs(int fd)
{
    static const auto next = realFunction<int (*)(int)>("syncfs");
    if (active())
        count(Event::Syncfs);
    return next(fd);
}

extern "C" int open(const char *path, int flags, ...)
{
    static const auto next = realFunction<int (*)(const char *, int, ...)>("open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return refusesTmpfile(flags) ? -1 : next(path, flags, mode);
}

extern "C" int open64(const char *path, int flags, ...)
{
    static const auto next = realFunction<int (*)(const char *, int, ...)>("open64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return refusesTmpfile(flags) ? -1 : next(path, flags, mode);
}

extern "C" int openat(int dir, const char *path, int flags, ...)
{
    static const auto next = realFunction<int (*)(int, const char *, int, ...)>("openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return refusesTmpfile(flags) ? -1 : next(dir, path, flags, mode);
}

extern "C" int openat64(int dir, const char *path, int flags, ...)
{
    static const auto next = realFunction<int (*)(int, const char *, int, ...)>("openat64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return refusesTmpfile(flags) ? -1 : next(dir, path, flags, mode);
}
