#include "LibraryFileCheck_win.h"

#include "PeImage.h"

#include <QDir>
#include <QString>

#include <windows.h>

namespace libraryfilecheck {
namespace {

bool readAt(HANDLE file, quint64 offset, void *buffer, quint32 length)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD done = 0;
    return ::ReadFile(file, buffer, length, &done, &at) && done == length;
}

} // namespace

bool looksLoadable(Qt::HANDLE file)
{
    // A pipe or a device has no headers to read and may never answer.
    if (::GetFileType(file) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const quint64 size = (quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const auto read = [file](quint64 offset, void *buffer, quint32 length) {
        return readAt(file, offset, buffer, length);
    };
    return peimage::isLoadableDll(read, size, peimage::ownMachine());
}

bool looksLoadable(const QString &path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // Others may go on reading it; nobody may change it while we look.
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = looksLoadable(file);
    ::CloseHandle(file);
    return ok;
}

bool alternativesLookLoadable(const QString &)
{
    // Windows' loader takes the path it is given.
    return true;
}

} // namespace libraryfilecheck
