#include "ProgramFiles.h"

#include <QDir>

#include <windows.h>

#include <vector>

namespace vaultine {

namespace programfiles {

QString runningExecutable()
{
    // Long paths need more than MAX_PATH: grown until the name fits.
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0)
            return QString();
        if (length < name.size())
            return QDir::fromNativeSeparators(QString::fromWCharArray(name.data(), int(length)));
        if (name.size() >= 32768)
            return QString();
        name.resize(name.size() * 2);
    }
}

// Installed or unpacked, everything of the program is beside it.
QStringList installedFolders(const QString &)
{
    return {};
}

} // namespace programfiles

} // namespace vaultine
