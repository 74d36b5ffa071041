// The Unix side of FileTrust.h: the judgement of one entry's status.
#pragma once

#include "FileTrust.h"

#include <sys/stat.h>
#include <sys/types.h>

namespace filetrust {

// Why users other than `self` and root could change an entry with this
// status, as a log text; empty when they cannot. A group-writable entry
// counts (an access control list that lets others write shows there too:
// the group bits then hold its mask).
QString whyUntrusted(const struct stat &info, uid_t self);

} // namespace filetrust
