// Stands in for the C library's file system calls in the benchmark process
// so that the time of each step can be told apart; every call goes on to the
// C library unchanged. The work runs on a thread of its own while the GUI
// thread reads too: the sums are atomic.
#include "IoTimer.h"

#include <atomic>
#include <chrono>
#include <initializer_list>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

struct Sum
{
    std::atomic<long long> nanoseconds{0};
    std::atomic<long> calls{0};

    void add(std::chrono::steady_clock::duration elapsed)
    {
        nanoseconds.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count(),
                              std::memory_order_relaxed);
        calls.fetch_add(1, std::memory_order_relaxed);
    }
    double seconds() const { return double(nanoseconds.load(std::memory_order_relaxed)) / 1e9; }
    long count() const { return calls.load(std::memory_order_relaxed); }
    void clear()
    {
        nanoseconds = 0;
        calls = 0;
    }
};

Sum g_read, g_write, g_sync, g_folderSync, g_syncfs, g_writeBack, g_rename, g_link, g_close;

template <typename Function>
Function realFunction(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

template <typename Result, typename... Args>
Result timedCall(Result (*real)(Args...), Sum &sum, Args... args)
{
    const auto start = std::chrono::steady_clock::now();
    const Result result = real(args...);
    sum.add(std::chrono::steady_clock::now() - start);
    return result;
}

// A folder's fsync puts its entries (renames among them) on disk: told apart
// from the files' own flushes.
Sum &syncSumFor(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? g_folderSync : g_sync;
}

} // namespace

extern "C" ssize_t read(int fd, void *buffer, size_t count)
{
    static const auto real = realFunction<ssize_t (*)(int, void *, size_t)>("read");
    return timedCall(real, g_read, fd, buffer, count);
}

extern "C" ssize_t write(int fd, const void *buffer, size_t count)
{
    static const auto real = realFunction<ssize_t (*)(int, const void *, size_t)>("write");
    return timedCall(real, g_write, fd, buffer, count);
}

extern "C" int fsync(int fd)
{
    static const auto real = realFunction<int (*)(int)>("fsync");
    return timedCall(real, syncSumFor(fd), fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = realFunction<int (*)(int)>("fdatasync");
    return timedCall(real, syncSumFor(fd), fd);
}

extern "C" int syncfs(int fd)
{
    static const auto real = realFunction<int (*)(int)>("syncfs");
    return timedCall(real, g_syncfs, fd);
}

extern "C" int sync_file_range(int fd, off64_t offset, off64_t length, unsigned int flags)
{
    static const auto real = realFunction<int (*)(int, off64_t, off64_t, unsigned int)>("sync_file_range");
    return timedCall(real, g_writeBack, fd, offset, length, flags);
}

extern "C" int rename(const char *from, const char *to)
{
    static const auto real = realFunction<int (*)(const char *, const char *)>("rename");
    return timedCall(real, g_rename, from, to);
}

extern "C" int renameat(int fromFolder, const char *from, int toFolder, const char *to)
{
    static const auto real = realFunction<int (*)(int, const char *, int, const char *)>("renameat");
    return timedCall(real, g_rename, fromFolder, from, toFolder, to);
}

extern "C" int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned int flags)
{
    static const auto real = realFunction<int (*)(int, const char *, int, const char *, unsigned int)>("renameat2");
    return timedCall(real, g_rename, fromFolder, from, toFolder, to, flags);
}

extern "C" int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    static const auto real = realFunction<int (*)(int, const char *, int, const char *, int)>("linkat");
    return timedCall(real, g_link, fromFolder, from, toFolder, to, flags);
}

extern "C" int close(int fd)
{
    static const auto real = realFunction<int (*)(int)>("close");
    return timedCall(real, g_close, fd);
}

namespace iotimer {

Totals totals()
{
    Totals totals;
    totals.readSeconds = g_read.seconds();
    totals.writeSeconds = g_write.seconds();
    totals.syncSeconds = g_sync.seconds();
    totals.syncCalls = g_sync.count();
    totals.folderSyncSeconds = g_folderSync.seconds();
    totals.folderSyncCalls = g_folderSync.count();
    totals.syncfsSeconds = g_syncfs.seconds();
    totals.syncfsCalls = g_syncfs.count();
    totals.writeBackSeconds = g_writeBack.seconds();
    totals.renameSeconds = g_rename.seconds();
    totals.renameCalls = g_rename.count();
    totals.linkSeconds = g_link.seconds();
    totals.closeSeconds = g_close.seconds();
    return totals;
}

void reset()
{
    for (Sum *sum : {&g_read, &g_write, &g_sync, &g_folderSync, &g_syncfs, &g_writeBack, &g_rename, &g_link, &g_close})
        sum->clear();
}

} // namespace iotimer
