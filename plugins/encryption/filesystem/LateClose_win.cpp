#include "LateClose.h"

// Windows closes a replaced file at once (see InputFile::closeLater): there
// is never anything left to close.
void closeLater(FileHandle handle)
{
    handle.reset();
}

void waitForLateCloses()
{
}
