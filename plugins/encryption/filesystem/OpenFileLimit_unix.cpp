#include "OpenFileLimit.h"

#include <QtGlobal>

#include <climits>
#include <fcntl.h>
#include <sys/resource.h>

namespace vaultine {

long raiseOpenFileLimit(long wanted)
{
    // The usual soft limit of 1024 is a default, not a need: the hard limit
    // is there to be used.
    struct rlimit limit;
    const rlim_t want = rlim_t(wanted);
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < want && limit.rlim_max > limit.rlim_cur) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? want : qMin(limit.rlim_max, want);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? long(qMin<rlim_t>(limit.rlim_cur, rlim_t(LONG_MAX))) : 1024;
}

long openHandleCount(long limit)
{
    // Without /proc too: each descriptor is asked whether it is open.
    long open = 0;
    for (long fd = 0; fd < limit; ++fd)
        open += ::fcntl(int(fd), F_GETFD) != -1 ? 1 : 0;
    return open;
}

} // namespace vaultine
