#include "LateClose.h"

namespace vaultine {

// Windows closes a replaced file at once (see InputFile::closeLater): there
// is never anything left to close.
void closeLater(FileHandle handle)
{
    handle.reset();
}

void waitForLateCloses()
{
}

} // namespace vaultine
