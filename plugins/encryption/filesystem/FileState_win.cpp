#include "FileState.h"

#include "SystemCalls_win.h"

#include <QDir>
#include <QFileInfo>

namespace vaultine {

namespace wincalls {

namespace {

const QString kLongPrefix = QStringLiteral("\\\\?\\");
// The same prefix as Qt writes it (QDir::fromNativeSeparators): a path that
// came in as "\\?\C:\..." and went through a QFileInfo or QDir.
const QString kLongPrefixForward = QStringLiteral("//?/");

// FILETIME and LARGE_INTEGER times count 100 ns since 1601.
FileTime timeOf(const LARGE_INTEGER &time)
{
    const qint64 ticks = time.QuadPart;
    return FileTime{ticks / 10000000, (ticks % 10000000) * 100};
}

// Only symbolic links and junctions lead elsewhere; other reparse points
// (cloud placeholders, deduplicated files) are the file itself.
bool isLink(HANDLE handle, DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return true;
    return tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT;
}

FileKind kindOf(HANDLE handle, DWORD attributes)
{
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return FileKind::Other;
    if (isLink(handle, attributes))
        return FileKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
}

} // namespace

Seam &seam()
{
    static Seam calls;
    return calls;
}

bool isDevicePath(const QString &path)
{
    return path.startsWith(QLatin1String("\\\\.\\")) || path.startsWith(QLatin1String("//./"))
           || path.startsWith(QLatin1String("\\\\?\\GLOBALROOT"), Qt::CaseInsensitive)
           || path.startsWith(QLatin1String("//?/GLOBALROOT"), Qt::CaseInsensitive);
}

std::wstring widePath(const QString &path)
{
    if (isDevicePath(path))
        return path.toStdWString();
    // Already absolute and taken literally. After the prefix Windows turns no
    // '/' into a separator (a child joined with '/' would be one name with a
    // slash in it, which no file system allows): each becomes a '\\' here.
    if (path.startsWith(kLongPrefix) || path.startsWith(kLongPrefixForward)) {
        QString literal = path.mid(kLongPrefix.size());
        literal.replace(QLatin1Char('/'), QLatin1Char('\\'));
        return (kLongPrefix + literal).toStdWString();
    }
    QString full = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (full.startsWith(QLatin1String("\\\\")))
        full = kLongPrefix + QLatin1String("UNC\\") + full.mid(2);
    else
        full = kLongPrefix + full;
    // "\\?\C:" names the volume, not its root folder.
    if (full.size() == kLongPrefix.size() + 2)
        full += QLatin1Char('\\');
    return full.toStdWString();
}

QString childPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')) ? folder + name
                                                                                   : folder + QLatin1Char('/') + name;
}

QString errorText(DWORD code)
{
    return qt_error_string(int(code));
}

FileHandle openForAttributes(const QString &path, FollowLinks follow)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow == FollowLinks::No ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    return FileHandle(nativeOf(::CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                             OPEN_EXISTING, flags, nullptr)));
}

bool stateOf(HANDLE handle, FileState *state)
{
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandle(handle, &info)
        || !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return false;
    state->identity =
        FileIdentity{quint64(info.dwVolumeSerialNumber), (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    state->kind = kindOf(handle, info.dwFileAttributes);
    state->size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    state->modified = timeOf(basic.LastWriteTime);
    state->changed = timeOf(basic.ChangeTime);
    state->linkCount = quint64(info.nNumberOfLinks);
    state->attributes = quint32(info.dwFileAttributes);
    state->owner = 0;
    state->group = 0;
    return true;
}

} // namespace wincalls

bool stateAtPath(const QString &path, FollowLinks follow, FileState *state)
{
    if (path.isEmpty() || wincalls::isDevicePath(path))
        return false;
    const FileHandle handle = wincalls::openForAttributes(path, follow);
    return handle.isValid() && wincalls::stateOf(wincalls::handleOf(handle), state);
}

} // namespace vaultine
