// Whether what a security descriptor says makes an object one account's
// alone: it owns it, and no entry of the access list lets anyone else in.
// The one-window pipe is trusted only then (InstanceChannel_win.cpp).
#pragma once

#include <QString>

#include <windows.h>

namespace pipeaccess {

// An account's SID as text ("S-1-5-…"), "?" when it cannot be told.
QString sidText(PSID sid);

// Why `owner` and `dacl` do not make the object `user`'s alone; empty when
// they do. An entry whose kind cannot be judged counts against it.
QString whyNotUsersAlone(PSID owner, const ACL *dacl, PSID user);

// The same for the object behind `handle`, its descriptor read from it.
QString whyNotUsersAlone(HANDLE handle, PSID user);

// The mandatory integrity level of a process (SECURITY_MANDATORY_*_RID:
// 0x2000 medium, 0x3000 high, as an elevated administrator's), -1 when it
// cannot be read.
long integrityOfProcess(HANDLE process);
// The same for the program at the other end of a pipe this process serves.
long integrityOfClient(HANDLE pipe);

} // namespace pipeaccess
