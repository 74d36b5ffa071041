// The notice sink offered to every plug-in.
#include "PluginApi.h"
#include "Shell.h"

#include <QString>

bool ShowNoticeFunc(const QString &summary, qint64 elapsedMs)
{
    return Shell::instance().workEnded(summary, elapsedMs);
}
