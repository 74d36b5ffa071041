#include "CoreLocation.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace corelocation {

QString libraryPath()
{
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&libraryPath), &self))
        return QString();
    // Long enough for any path, \\?\ ones included.
    std::wstring buffer(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(self, &buffer[0], DWORD(buffer.size()));
    if (length == 0 || length >= buffer.size())
        return QString();
    QString path = QString::fromWCharArray(buffer.data(), int(length));
    if (path.startsWith(QLatin1String("\\\\?\\")) && !path.startsWith(QLatin1String("\\\\?\\UNC\\")))
        path = path.mid(4);
    return QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath();
}

} // namespace corelocation
