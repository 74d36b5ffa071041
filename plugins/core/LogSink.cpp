// The log sink offered to every plug-in.
#include "LogHub.h"
#include "PluginApi.h"

#include <QString>

bool ShowLogFunc(const QString &line)
{
    loghub::write(line);
    return true;
}
