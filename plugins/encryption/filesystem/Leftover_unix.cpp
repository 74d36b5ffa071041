#include "Leftover.h"

#include "Folder.h"
#include "SystemCalls_unix.h"
#include "SystemError.h"
#include "TemporaryName.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vaultine {

using namespace unixcalls;

// A rename removes the temporary name as it puts the new file in place, so
// a temporary name that is still there was never renamed: the file it was
// to replace still holds its old bytes. It can only be redundant here, unless
// a rewrite of another process is still writing it, which holds a lock on it
// for as long as it has it open.
LeftoverFate clearLeftover(const Folder &folder, const QString &name, QString *reason)
{
    if (!temporaryname::isTemporary(name))
        return LeftoverFate::Gone;
    const QByteArray local = encoded(name);
    const int dir = fdOf(folder.handle());
    const FileHandle file(retryOnInterrupt(
        [&] { return ::openat(dir, local.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC); }));
    struct stat info;
    if (!file.isValid() || ::fstat(fdOf(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (file.isValid() || errno == ENOENT || errno == ELOOP)
            return LeftoverFate::Gone;
        *reason = systemErrorText(errno);
        return LeftoverFate::NotRemoved;
    }
    // A file system without locks cannot tell: the rewrite that might still
    // be going on would only fail, and keep its original.
    if (::flock(fdOf(file), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return LeftoverFate::InUse;
    struct stat now;
    if (::fstatat(dir, local.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != info.st_ino
        || now.st_dev != info.st_dev)
        return LeftoverFate::Gone;
    if (::unlinkat(dir, local.constData(), 0) != 0) {
        if (errno == ENOENT)
            return LeftoverFate::Gone;
        *reason = systemErrorText(errno);
        return LeftoverFate::NotRemoved;
    }
    return LeftoverFate::Removed;
}

} // namespace vaultine
