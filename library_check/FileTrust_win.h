// The Windows side of FileTrust.h: the judgement of one open file or folder.
#pragma once

#include "FileTrust.h"

#include <qnamespace.h>

namespace filetrust {

// Why accounts other than this user, Administrators and SYSTEM could change
// the file or folder open as `file` (its owner and access control list), as
// a log text; empty when they cannot.
QString whyUntrusted(Qt::HANDLE file);
// The same judgement of a security descriptor (its owner and access list).
QString whyUntrustedDescriptor(void *descriptor);

} // namespace filetrust
