// Stands in for fsync, fdatasync and rename in the benchmark process so that
// the time the safe replace spends flushing to disk and swapping the file in
// can be told apart; the calls go on to the C library unchanged.
#include "SyncTimer.h"

#include <chrono>

#include <dlfcn.h>

namespace {

double g_syncSeconds = 0;
long g_syncCalls = 0;
double g_renameSeconds = 0;

template<typename Function, typename... Args>
int timedCall(const char *name, double &total, Args... args)
{
    const auto real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
    const auto start = std::chrono::steady_clock::now();
    const int result = real(args...);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace

extern "C" int fsync(int fd)
{
    ++g_syncCalls;
    return timedCall<int (*)(int)>("fsync", g_syncSeconds, fd);
}

extern "C" int fdatasync(int fd)
{
    ++g_syncCalls;
    return timedCall<int (*)(int)>("fdatasync", g_syncSeconds, fd);
}

extern "C" int rename(const char *from, const char *to)
{
    return timedCall<int (*)(const char *, const char *)>("rename", g_renameSeconds, from, to);
}

namespace synctimer {

double seconds() { return g_syncSeconds; }
long calls() { return g_syncCalls; }
double renameSeconds() { return g_renameSeconds; }

void reset()
{
    g_syncSeconds = 0;
    g_syncCalls = 0;
    g_renameSeconds = 0;
}

} // namespace synctimer
