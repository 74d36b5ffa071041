// The log sink offered to every plug-in.
#include "PluginApi.h"

#include <QString>

#include <cstdio>

bool ShowLogFunc(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    return true;
}
