// What the file system says about a file, in terms any system can fill:
// which file it is (its volume and its number there), what kind, how large,
// when it was last written and changed, how many names it has, and its
// mode, attributes and owner where the system has them.
#pragma once

#include <QString>
#include <QtGlobal>

namespace vaultine {

struct FileIdentity
{
    quint64 volume = 0;
    quint64 file = 0;

    bool operator==(const FileIdentity &other) const { return volume == other.volume && file == other.file; }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};

// A time stamp to the system's full precision.
struct FileTime
{
    qint64 seconds = 0;
    qint64 nanoseconds = 0;

    bool operator==(const FileTime &other) const
    {
        return seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
};

enum class FileKind { Regular, Folder, Link, Other };

struct FileState
{
    FileIdentity identity;
    FileKind kind = FileKind::Other;
    qint64 size = -1;
    FileTime modified;
    FileTime changed; // metadata included: a rename onto it, new permissions
    quint64 linkCount = 0;
    quint32 mode = 0;       // Unix: the mode's low twelve bits (0 on Windows)
    quint32 attributes = 0; // Windows: the file's attributes (0 on Unix)
    quint32 owner = 0;      // Unix only, like the group
    quint32 group = 0;

    bool isSameFile(const FileState &now) const { return now.identity == identity; }

    // The same file, not written to, resized, renamed onto or re-permissioned
    // since.
    bool isUnchanged(const FileState &now) const
    {
        return isSameFile(now) && now.size == size && now.modified == modified && now.changed == changed;
    }
};

enum class FollowLinks { Yes, No };

// The state of what `path` names; false when nothing can be looked at there.
bool stateAtPath(const QString &path, FollowLinks follow, FileState *state);

} // namespace vaultine
