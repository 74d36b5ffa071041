// The new content of a file, written beside it and put in its place only
// once complete and flushed to disk; until then, and after any failure, the
// file keeps its previous bytes. A symbolic link stays a link whose target
// gets the new bytes, and the target keeps its permissions.
#pragma once

#include <QString>

#include <memory>

class QSaveFile;
class QTemporaryFile;

class ReplacementFile
{
public:
    explicit ReplacementFile(const QString &path);
    ~ReplacementFile();

    bool open();
    bool write(const char *data, qint64 length);
    bool sync();       // the new content is on disk, not yet in place
    bool commit();     // false: nothing replaced, nothing left behind
    void cancel();
    QString errorString() const;

private:
    // QSaveFile's temporary name is the file's name plus a suffix: names too
    // long for that get a short temporary name of our own.
    bool nameTooLongForSuffix() const;

    QString m_path;
    QString m_realPath;
    std::unique_ptr<QSaveFile> m_saveFile;
    std::unique_ptr<QTemporaryFile> m_temporary;
    QString m_error;
};
