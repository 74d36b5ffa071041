#include "NamedThread.h"

#include <pthread.h>

namespace vaultine {

void nameThisThread(const char *name)
{
    char shortName[16] = {};
    for (int i = 0; i < 15 && name[i]; ++i)
        shortName[i] = name[i];
    ::pthread_setname_np(::pthread_self(), shortName);
}

} // namespace vaultine
