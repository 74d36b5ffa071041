// A user's file opened for reading, never blocking on a FIFO or device: only
// a regular file is kept open, whatever the path names by the time it is
// opened.
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

class InputFile
{
public:
    enum class Opened { Ok, Missing, NotRegular, Unreadable, Link };

    InputFile() = default;
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
    ~InputFile();

    // Follows symbolic links, as a path typed or chosen by the user should.
    bool open(const QString &path);
    // `name` in the folder `folder`, never through a symbolic link.
    Opened openAt(int folder, const QByteArray &name);
    void close();
    // Hands the descriptor to closeLater(): for a file just replaced.
    void closeLater();

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // As it was when opened.
    const struct stat &info() const { return m_info; }
    qint64 size() const { return qint64(m_info.st_size); }

    // Reads until `want` bytes arrived or the file ended; -1 on a read error.
    qint64 readFully(char *buffer, qint64 want);
    // One byte at `offset`, leaving the reading position where it was.
    bool byteAt(qint64 offset, char *byte);
    // Up to `length` bytes from the start, leaving the position alone.
    qint64 peekStart(char *buffer, qint64 length);
    QString errorString() const { return m_error; }

private:
    Opened adopt(int fd);

    int m_fd = -1;
    struct stat m_info
    { };
    QString m_error;
};
