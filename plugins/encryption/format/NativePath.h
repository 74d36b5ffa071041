// A path as a user reads it in a line: with the system's own separators
// ("\" on Windows), whatever form the program handles it in.
#pragma once

#include <QDir>
#include <QString>

namespace vaultine {

inline QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace vaultine
