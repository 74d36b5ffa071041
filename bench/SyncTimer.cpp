// Stands in for fsync and fdatasync in the benchmark process so that the time
// the safe replace spends flushing to disk can be told apart; the calls go on
// to the C library unchanged.
#include "SyncTimer.h"

#include <chrono>

#include <dlfcn.h>

namespace {

double g_seconds = 0;
long g_calls = 0;

using SyncFunction = int (*)(int);

int timedSync(const char *name, int fd)
{
    const auto real = reinterpret_cast<SyncFunction>(dlsym(RTLD_NEXT, name));
    const auto start = std::chrono::steady_clock::now();
    const int result = real(fd);
    g_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++g_calls;
    return result;
}

} // namespace

extern "C" int fsync(int fd)
{
    return timedSync("fsync", fd);
}

extern "C" int fdatasync(int fd)
{
    return timedSync("fdatasync", fd);
}

namespace synctimer {

double seconds() { return g_seconds; }
long calls() { return g_calls; }

void reset()
{
    g_seconds = 0;
    g_calls = 0;
}

} // namespace synctimer
