// A user's file opened for reading, never blocking on a FIFO or device: only
// a regular file is kept open, whatever the path names by the time it is
// opened.
#pragma once

#include "FileHandle.h"
#include "FileState.h"
#include "Shortage.h"

#include <QString>

namespace vaultine {

class Folder;

class InputFile
{
public:
    // InUse: another program holds it open and shares it with no one (a
    // sharing violation on Windows; never on Unix).
    enum class Opened { Ok, Missing, NotRegular, Unreadable, Link, InUse };

    InputFile() = default;
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
    ~InputFile() = default;

    // Follows symbolic links, as a path typed or chosen by the user should.
    bool open(const QString &path);
    // Why the last open() failed, Ok when it did not.
    Opened openFailure() const { return m_openFailure; }
    // Whether the last open failed for want of handles.
    Shortage shortage() const { return m_shortage; }
    // `name` in `folder`, never through a symbolic link.
    Opened openIn(const Folder &folder, const QString &name);
    void close() { m_handle.reset(); }
    // Hands the handle to closeLater(): for a file just replaced.
    void closeLater();

    bool isOpen() const { return m_handle.isValid(); }
    // As it was when opened.
    const FileState &state() const { return m_state; }
    qint64 size() const { return m_state.size; }
    // True when `path` (links followed) still names this file, unchanged
    // since it was opened.
    bool isStillAt(const QString &path) const;

    // Reads until `want` bytes arrived or the file ended; -1 on a read error.
    qint64 readFully(char *buffer, qint64 want);
    // One byte at `offset`, leaving the reading position where it was.
    bool byteAt(qint64 offset, char *byte);
    // Up to `length` bytes from the start, leaving the position alone.
    qint64 peekStart(char *buffer, qint64 length);
    QString errorString() const { return m_error; }

private:
    Opened adopt(FileHandle handle);

    FileHandle m_handle;
    FileState m_state;
    QString m_error;
    Opened m_openFailure = Opened::Ok;
    Shortage m_shortage = Shortage::None;
};

} // namespace vaultine
