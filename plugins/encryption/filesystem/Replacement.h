// The new content of a file, written into the folder that holds it and put
// in its place only once complete and on disk: until commit(), and after any
// failure, the file keeps its bytes. The new file gets the old one's owner,
// group, full mode (set-id and sticky bits included), extended attributes
// and ACLs. It has no name while it is written, where the file system
// allows; otherwise, and for the instant between naming it and renaming it
// over the file, it has a temporary name (TemporaryName.h).
#pragma once

#include "FileHandle.h"
#include "FileState.h"
#include "Shortage.h"

#include <QString>
#include <QStringList>

namespace vaultine {

class Folder;

class Replacement
{
public:
    enum class Opened { Ok, OwnerNotKept, Failed };
    enum class Committed {
        Done,
        Changed,
        Failed, // the file keeps its bytes
        // The old content left the name and the new one could not take it
        // (Windows: ReplaceFileW failing half-way): the new content stays,
        // whole, at keptAside(), as the only copy.
        KeptAside,
    };

    // `folder` stays owned by the caller and open until the end. `existing`
    // is the file to replace, as last seen; null when `name` is to be new.
    Replacement(const Folder &folder, const QString &name, const FileState *existing);
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;
    ~Replacement(); // discards what was not committed

    Opened open();
    bool write(const char *data, qint64 length);
    // Now: everything on disk at once. WithOthers: a batch flushes many
    // files at once instead (DurableFlush.h).
    enum class Flush { Now, WithOthers };
    // Owner's mode and attributes in place, then the flush asked for.
    bool finish(Flush flush);
    bool flush();
    // After a flush of the whole file system: false when any of the file's
    // data failed to reach the disk, which that flush may have reported to
    // another file, or to nobody.
    bool confirmWrittenBack();
    // Renames the new file over the name, provided the name still holds the
    // file as last seen (or nothing, for a new file). The rename is on disk
    // only once the folder is flushed.
    Committed commit();
    void discard();

    qint64 written() const { return m_written; }
    // The new file, once open.
    const FileIdentity &newIdentity() const { return m_created.identity; }
    QString errorString() const { return m_error; }
    // Whether the last failure was for want of room or handles.
    Shortage shortage() const { return m_shortage; }
    // Where the new content stays after Committed::KeptAside.
    const QString &keptAside() const { return m_keptAside; }
    // Extended attributes the new file could not be given.
    QStringList attributesNotKept() const { return m_attributesNotKept; }
    const Folder &folder() const { return m_folder; }
    const QString &name() const { return m_name; }

private:
    // Each system's side (Replacement_unix.cpp, Replacement_win.cpp) keeps
    // its own steps in its own file; these two both have.
    bool createNamed();
    void fail();
    // The name still holds the file that was read (still none, for a new file).
    bool targetStillAsRead() const;

    const Folder &m_folder;
    QString m_name;
    bool m_replacing;
    FileState m_existing;
    FileHandle m_file;
    QString m_temporaryName; // empty while the new file has no name
    QString m_keptAside;
    qint64 m_written = 0;
    FileState m_created;
    QString m_error;
    Shortage m_shortage = Shortage::None;
    QStringList m_attributesNotKept;
};

} // namespace vaultine
