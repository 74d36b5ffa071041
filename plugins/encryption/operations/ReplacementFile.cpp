#include "ReplacementFile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// QSaveFile appends ".XXXXXX" to the name.
constexpr int kSaveFileSuffix = 7;

} // namespace

ReplacementFile::ReplacementFile(const QString &path)
    : m_path(path)
{
    const QFileInfo info(path);
    m_realPath = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
}

ReplacementFile::~ReplacementFile() = default;

bool ReplacementFile::nameTooLongForSuffix() const
{
    return QFile::encodeName(QFileInfo(m_realPath).fileName()).size() + kSaveFileSuffix > NAME_MAX;
}

bool ReplacementFile::open()
{
    if (!nameTooLongForSuffix()) {
        m_saveFile = std::make_unique<QSaveFile>(m_path);
        if (m_saveFile->open(QIODevice::WriteOnly))
            return true;
        m_error = m_saveFile->errorString();
        m_saveFile.reset();
        return false;
    }
    const QFileInfo real(m_realPath);
    m_temporary = std::make_unique<QTemporaryFile>(real.absolutePath() + QStringLiteral("/.keystrel-XXXXXX"));
    if (!m_temporary->open()) {
        m_error = m_temporary->errorString();
        m_temporary.reset();
        return false;
    }
    const QFile::Permissions permissions = real.exists()
        ? QFile::permissions(m_realPath)
        : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    m_temporary->setPermissions(permissions);
    return true;
}

bool ReplacementFile::write(const char *data, qint64 length)
{
    if (length == 0)
        return true;
    QFileDevice *device = m_saveFile ? static_cast<QFileDevice *>(m_saveFile.get()) : m_temporary.get();
    if (device && device->write(data, length) == length)
        return true;
    if (device)
        m_error = device->errorString();
    return false;
}

bool ReplacementFile::sync()
{
    QFileDevice *device = m_saveFile ? static_cast<QFileDevice *>(m_saveFile.get()) : m_temporary.get();
    if (device && device->flush() && ::fdatasync(device->handle()) == 0)
        return true;
    m_error = device ? device->errorString() : QString();
    if (m_error.isEmpty() || (device && device->error() == QFileDevice::NoError))
        m_error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool ReplacementFile::commit()
{
    if (m_saveFile) {
        if (m_saveFile->commit())
            return true;
        m_error = m_saveFile->errorString();
        return false;
    }
    if (!m_temporary)
        return false;
    if (!m_temporary->flush() || ::fdatasync(m_temporary->handle()) != 0
        || std::rename(QFile::encodeName(m_temporary->fileName()).constData(),
                       QFile::encodeName(m_realPath).constData()) != 0) {
        m_error = m_error.isEmpty() ? QString::fromLocal8Bit(std::strerror(errno)) : m_error;
        m_temporary.reset(); // removes the temporary file
        return false;
    }
    m_temporary->setAutoRemove(false);
    m_temporary.reset();
    return true;
}

void ReplacementFile::cancel()
{
    if (m_saveFile)
        m_saveFile->cancelWriting();
    m_saveFile.reset();
    m_temporary.reset();
}

QString ReplacementFile::errorString() const
{
    return m_error;
}
