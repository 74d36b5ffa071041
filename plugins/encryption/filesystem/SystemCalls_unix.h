// What the Linux side of the file system layer shares: the one retry of
// calls that a signal interrupts, descriptors of handles, names as the
// kernel takes them, and a stat turned into the neutral FileState. Included
// only by the *_unix.cpp files.
#pragma once

#include "FileHandle.h"
#include "FileState.h"
#include "Shortage.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <sys/stat.h>

namespace vaultine {

namespace unixcalls {

// Runs `call` again for as long as a signal interrupts it (-1, EINTR). Not
// for close(), which must never be retried.
template <typename Call>
auto retryOnInterrupt(Call call) -> decltype(call())
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

inline int fdOf(const FileHandle &handle)
{
    return int(handle.native());
}

inline QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}

FileState stateFrom(const struct stat &info);

// Whether a failure was for want of room or handles (Shortage.h).
inline Shortage shortageOf(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return Shortage::Room;
    if (error == EMFILE || error == ENFILE)
        return Shortage::Handles;
    return Shortage::None;
}

} // namespace unixcalls

} // namespace vaultine
