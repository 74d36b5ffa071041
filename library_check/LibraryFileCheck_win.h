// The Windows side of LibraryFileCheck.h.
#pragma once

#include "LibraryFileCheck.h"

#include <qnamespace.h>

namespace libraryfilecheck {

// The look of LibraryFileCheck.h at a file already open for reading (the
// caller may have looked at it through the same handle, so both looks see
// one file).
bool looksLoadable(Qt::HANDLE file);

} // namespace libraryfilecheck
