// Whether what a security descriptor says makes an object one account's
// alone: it owns it, and no entry of the access list lets anyone else in.
// The one-window pipe is trusted only then (InstanceChannel_win.cpp).
#pragma once

#include <QString>

#include <windows.h>

namespace pipeaccess {

// Why `owner` and `dacl` do not make the object `user`'s alone; empty when
// they do. An entry whose kind cannot be judged counts against it.
QString whyNotUsersAlone(PSID owner, const ACL *dacl, PSID user);

// The same for the object behind `handle`, its descriptor read from it.
QString whyNotUsersAlone(HANDLE handle, PSID user);

} // namespace pipeaccess
