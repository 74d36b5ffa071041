// A folder held open, so that the names in it are reached from it and not by
// a path that someone could redirect meanwhile. Children are opened from
// their parent without following a link; the path is kept for systems that
// can only name a child by its full path (and then check its identity).
#pragma once

#include "FileHandle.h"
#include "FileState.h"
#include "Shortage.h"

#include <QString>

#include <vector>

namespace vaultine {

class Folder
{
public:
    enum class Opened {
        Ok,
        Missing,    // nothing there
        Replaced,   // a link or something else than a folder there now
        Unreadable, // there, but not to be opened
    };
    enum class Entry { Present, Absent, Unknown };

    Folder() = default;
    Folder(Folder &&) noexcept = default;
    Folder &operator=(Folder &&) noexcept = default;
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    ~Folder() = default;

    // The folder `path` names, links followed: one the user named.
    Opened open(const QString &path);
    // `name` in `parent`, never through a link.
    Opened openChild(const Folder &parent, const QString &name);

    bool isOpen() const { return m_handle.isValid(); }
    // Whether the last open failed for want of handles.
    Shortage shortage() const { return m_shortage; }
    const FileHandle &handle() const { return m_handle; }
    const QString &path() const { return m_path; }
    // The kind of file system the folder is on, as the system numbers it (0:
    // not known). Read once, when the folder is opened: it cannot change
    // while the folder is held open, and every file in it would ask.
    quint64 fileSystemKind() const { return m_fileSystemKind; }

    // Which folder this is; false when the system cannot say.
    bool identify(FileIdentity *identity) const;
    // `name` in this folder as it is now, a link taken for itself.
    Entry lookUp(const QString &name, FileState *state) const;
    // True when the user may write to `name` itself: a file made read-only is
    // refused as a plain write would refuse it.
    bool allowsWriting(const QString &name) const;
    // Puts the folder's entries (a rename into it) on disk.
    bool flush(QString *error) const;

private:
    // Takes a handle just opened for `path`, or says why there is none.
    Opened adopt(FileHandle handle, const QString &path);

    FileHandle m_handle;
    QString m_path;
    quint64 m_fileSystemKind = 0;
    Shortage m_shortage = Shortage::None;
};

// A name as the folder lists it, and whether it survives the way through a
// QString (on Linux, bytes invalid in the local encoding do not).
struct ListedName
{
    QString name;
    bool faithful = true;
};

// Every name in the folder at `path`, hidden ones included, in no order;
// false when it cannot be listed.
bool listNames(const QString &path, std::vector<ListedName> *names);

} // namespace vaultine
