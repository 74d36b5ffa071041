// The Unix side of LibraryFileCheck.h.
#pragma once

#include "LibraryFileCheck.h"

namespace libraryfilecheck {

// The look of LibraryFileCheck.h at a file already open for reading (the
// caller may have looked at it through the same descriptor, so both looks see
// one file).
bool looksLoadable(int fd);

} // namespace libraryfilecheck
