// Stands in for read, write, fsync, fdatasync and rename in the benchmark
// process so that the time of each step can be told apart; every call goes
// on to the C library unchanged.
#include "IoTimer.h"

#include <chrono>

#include <dlfcn.h>
#include <sys/types.h>

namespace {

iotimer::Totals g_totals;

template<typename Function>
Function realFunction(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

template<typename Result, typename... Args>
Result timedCall(Result (*real)(Args...), double &total, Args... args)
{
    const auto start = std::chrono::steady_clock::now();
    const Result result = real(args...);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace

extern "C" ssize_t read(int fd, void *buffer, size_t count)
{
    static const auto real = realFunction<ssize_t (*)(int, void *, size_t)>("read");
    return timedCall(real, g_totals.readSeconds, fd, buffer, count);
}

extern "C" ssize_t write(int fd, const void *buffer, size_t count)
{
    static const auto real = realFunction<ssize_t (*)(int, const void *, size_t)>("write");
    return timedCall(real, g_totals.writeSeconds, fd, buffer, count);
}

extern "C" int fsync(int fd)
{
    static const auto real = realFunction<int (*)(int)>("fsync");
    ++g_totals.syncCalls;
    return timedCall(real, g_totals.syncSeconds, fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = realFunction<int (*)(int)>("fdatasync");
    ++g_totals.syncCalls;
    return timedCall(real, g_totals.syncSeconds, fd);
}

extern "C" int rename(const char *from, const char *to)
{
    static const auto real = realFunction<int (*)(const char *, const char *)>("rename");
    return timedCall(real, g_totals.renameSeconds, from, to);
}

namespace iotimer {

Totals totals() { return g_totals; }
void reset() { g_totals = Totals(); }

} // namespace iotimer
