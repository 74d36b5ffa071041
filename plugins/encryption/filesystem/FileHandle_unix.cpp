#include "FileHandle.h"

#include <unistd.h>

namespace vaultine {

void FileHandle::closeNative(qintptr native)
{
    // Never retried: after EINTR the descriptor is gone on Linux, and another
    // thread may already have been given the same number.
    ::close(int(native));
}

} // namespace vaultine
