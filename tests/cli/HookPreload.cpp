// The file hooks of tests/reliability/tool as a library to preload into
// keystrel-cli: KEYSTREL_HOOK_PATH names the file to watch, and
// KEYSTREL_TOOL_HOOK says when to act (tool/FsHooks.h).
#include "FsHooks.h"

#include <cstdlib>

__attribute__((constructor)) static void armFromEnvironment()
{
    if (const char *path = std::getenv("KEYSTREL_HOOK_PATH"))
        fshooks::armEncoded(path);
}
