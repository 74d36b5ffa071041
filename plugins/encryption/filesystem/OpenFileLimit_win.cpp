#include "OpenFileLimit.h"

namespace vaultine {

long raiseOpenFileLimit(long wanted)
{
    // Handles of CreateFileW are limited only by memory (some sixteen
    // million a process), not by a limit to raise.
    return wanted;
}

long openHandleCount(long)
{
    return 0;
}

} // namespace vaultine
